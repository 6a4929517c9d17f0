#!/usr/bin/env bash
# The window at the display's scale, as a desktop sets it: the real program under Xvfb with
# openbox. display_scale.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"
start_desktop

client_size() { xwininfo -id "$win" | awk '/^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { print w "x" h }'; }
# The size of the window the tool shows with the given environment (a desktop's settings).
size_with() {
  env "$@" "$build/conversor" >"$work/app.out" 2>"$work/app.err" & app=$!
  pids+=($app)
  win=$(timeout 20 bash -c "$(declare -f wait_for); wait_for '^Conversor de dados - Malhavera -\$'")
  [ -n "$win" ] && sleep 0.5 && client_size
  stop "$app"
}

check "on a 96-dpi display the window is 602x295" [ "$(size_with)" = 602x295 ]
# A desktop set to 192 dots per inch tells its programs through the X resources.
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "$(printf 'Xft.dpi:\t192\n')"
check "on a 192-dpi display (Xft.dpi) it is twice the size" [ "$(size_with)" = 1204x590 ]
xprop -root -remove RESOURCE_MANAGER
check "QT_SCALE_FACTOR=2 doubles it" [ "$(size_with QT_SCALE_FACTOR=2)" = 1204x590 ]
check "QT_SCREEN_SCALE_FACTORS=2 doubles it" [ "$(size_with QT_SCREEN_SCALE_FACTORS=2)" = 1204x590 ]
summary
