#!/usr/bin/env bash
# The window as a screen reader finds it over AT-SPI, in a desktop session of the test's own
# (Xvfb with openbox, a D-Bus session and its accessibility bus). screen_reader.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"
start_desktop

# The session's buses: the accessibility bus launcher starts a bus and a registry of its own,
# ended with it, its socket in the test's folder.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
dbus-daemon --session --nofork --print-address=1 >"$work/bus" 2>/dev/null & pids+=($!)
for _ in $(seq 50); do [ -s "$work/bus" ] && break; sleep 0.1; done
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 & launcher=$!
pids+=($launcher)
cleanups+=('stop $(pgrep -P $launcher)')
for _ in $(seq 50); do
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
  sleep 0.1
done
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
atspi() { /usr/bin/python3 "$source/tests/e2e/atspi.py" "$1" conversor "${@:2}"; }
# line ROLE NAME: the tree's line for that object, without its depth
line() { atspi tree | cut -d' ' -f2- | grep -m1 "^$1|$2|"; }
# has LINE FIELD WORD: the line's field (3 actions, 4 states, 5 interfaces) holds WORD
has() { [ -n "$1" ] && [[ ",$(echo "$1" | cut -d'|' -f"$2")," == *",$3,"* ]]; }
lacks() { [ -n "$1" ] && ! has "$@"; }
# at_most "CURRENT LEAST MOST": a value read through the Value interface stands at its most
at_most() { local current least most; read -r current least most <<<"$1"; [ "$least" = 0 ] && [ "${most:-0}" -gt 0 ] && [ "$current" = "$most" ]; }
# reads ROLE NAME TEXT: the object's description or a child's name holds TEXT
reads() { local said; said=$(atspi read "$1" "$2") && [[ "$said" == *"$3"* ]]; }

missing="$work/nao-existe.fb"
start_tool "$missing"

frame=$(line frame 'Conversor de dados - Malhavera -')
check "the window is a frame with its title" [ -n "$frame" ]
bar=$(line 'progress bar' Progresso)
check "the gauge is a progress bar named Progresso" [ -n "$bar" ]
check "the gauge offers its value through the Value interface" has "$bar" 5 Value
check "the gauge's value is read: 0 of 0 to 100" [ "$(atspi value 'progress bar' Progresso)" = "0 0 100" ]
# Qt's bridge gives Increase and Decrease to anything with a value: they change nothing here.
atspi setvalue 'progress bar' Progresso 50 >/dev/null
check "nobody sets the gauge's value" [ "$(atspi value 'progress bar' Progresso)" = "0 0 100" ]
for command in Abrir Converter Sair; do
  button=$(line 'push button' "$command")
  check "$command is a push button that can be pressed" has "$button" 3 Press
  check "$command is enabled" has "$button" 4 enabled
done
field=$(line text 'Banco de Dados Vestrel (Firebird \*.fb)')
check "the path field is named by its caption" [ -n "$field" ]
check "the path field offers no editable text" lacks "$field" 5 EditableText
# Qt's bridge answers a request for text even where the field has no editable text; what
# matters is that the field keeps its path.
atspi settext outro.fb >/dev/null
check "text set through AT-SPI does not reach the path field" [ "$(atspi text)" = "$missing" ]

# Open: the press returns while the dialog comes up.
ms=$(atspi press Abrir)
check "a press on Open returns at once (${ms} ms)" [ "${ms:-99999}" -lt 1000 ]
check "the Open dialog comes up afterwards" [ -n "$(timeout 20 bash -c "$(declare -f wait_for); wait_for '^(Open|Abrir)\$'")" ]
xdotool key Escape
sleep 0.5

# Convert on a file that is no database: the run stops at its connect step, with its box.
ms=$(atspi press Converter)
check "a press on Convert returns at once (${ms} ms)" [ "${ms:-99999}" -lt 1000 ]
wait_box
check "the run ends in the Error box" [ "$box" = Error ]
# Qt's name for AT-SPI's alert role, as its own message boxes have it.
check "the Error box is an alert" [ -n "$(line 'alert message' Error)" ]
check "the alert is read with its text" reads 'alert message' Error 'Não foi possível conectar ao banco de dados Vestrel'
for command in Abrir Converter; do
  check "$command reports itself disabled while the run is under way" lacks "$(line 'push button' "$command")" 4 enabled
done
# Exit stays: closing the window stops a run.
check "Sair stays enabled while the run is under way" has "$(line 'push button' Sair)" 4 enabled
atspi press Sair >/dev/null
sleep 0.5
check "Exit pressed while the run's box holds the window does nothing" kill -0 "$app"
xdotool key Return # OK
sleep 0.5
for command in Abrir Converter Sair; do
  check "$command is enabled again after the run" has "$(line 'push button' "$command")" 4 enabled
done
check "the window is still open after the run" kill -0 "$app"
atspi press Sair >/dev/null
check "Exit pressed after the run closes the tool" gone "$app"

# A run that converts, with a screen reader listening: it hears the gauge's value change (read
# through the Value interface when the change is announced), its percentage (its description)
# and the status line's tables.
good="$work/loja.fb"
"$source/tools/make-sample-db" "$good" >/dev/null
start_tool "$good"
atspi listen 120 >"$work/heard" 2>"$work/listen.err" & pids+=($!)
for _ in $(seq 100); do grep -q '^listening$' "$work/heard" && break; sleep 0.1; done
check "the screen reader listens" grep -q '^listening$' "$work/heard"
xdotool key Tab Tab Return # Convert
wait_box 60
check "the run ends in the Information box" [ "$box" = Information ]
sleep 1
percent=$(grep -c '^progress bar|Progresso|accessible-description|[0-9]*%$' "$work/heard")
check "the gauge's percentage changes are announced ($percent)" [ "$percent" -ge 2 ]
values=$(grep -c '^progress bar|Progresso|accessible-value|[0-9]* 0 [0-9]*$' "$work/heard")
check "the gauge's value changes are announced ($values)" [ "$values" -ge 2 ]
last=$(grep '|accessible-value|' "$work/heard" | tail -n1)
check "the last value announced is the most (${last##*|})" at_most "${last##*|}"
check "the gauge is read at 100% at the end" [ "$(atspi read 'progress bar' Progresso | head -n1)" = 100% ]
most=$(atspi value 'progress bar' Progresso)
check "its value is its most at the end ($most)" at_most "$most"
# A reader reads a name when the change comes to it: on a run this short, the last relation's.
check "the status line's relations are announced" grep -Eq '\|accessible-name\|(Atualizando tabela: |Ignorando )' "$work/heard"
check "the last, a view, is announced as left out" grep -q '|accessible-name|Ignorando V_PRODUTOS (visão)$' "$work/heard"
xdotool key Return # OK
sleep 0.5
atspi press Sair >/dev/null
check "Exit closes the tool" gone "$app"
summary
