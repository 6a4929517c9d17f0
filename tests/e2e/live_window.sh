#!/usr/bin/env bash
# A window that stays alive during a long run, the file let go of after it, and clean ends on
# signals: the real program under Xvfb and openbox, driven by xdotool.
# live_window.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"
start_desktop

# One table big enough for its rewrite to take a few seconds, a trigger the run switches off
# and one the user has switched off.
rows=1500000
template="$work/modelo.fb"
big_db "$template" 1 $rows "CREATE TABLE LOG_G (N INTEGER);
SET TERM ^ ;
CREATE TRIGGER T01_AU FOR T01 AFTER UPDATE AS BEGIN INSERT INTO LOG_G VALUES (NEW.ID); END^
CREATE TRIGGER T01_DESLIGADO FOR T01 INACTIVE AFTER UPDATE AS BEGIN INSERT INTO LOG_G VALUES (-1); END^
SET TERM ; ^
COMMIT;" >/dev/null
fresh() { cp "$template" "$work/$1.fb" && echo "$work/$1.fb"; }
states() { value "$1" "select trim(RDB\$TRIGGER_NAME) || '=' || RDB\$TRIGGER_INACTIVE from RDB\$TRIGGERS where RDB\$SYSTEM_FLAG = 0 order by 1;" | paste -sd, -; }
holding() { value "$1" "select count(*) from T01 where CODPROD = '$2';"; }
# The run is rewriting once its safety copy is made and the engine's backup lock is let go of
# (the triggers are switched off right after); under_way DB.
under_way() {
  local base=${1%.fb}
  for _ in $(seq 400); do
    if compgen -G "$base.copia-*.fb" >/dev/null && [ ! -e "$1.delta" ]; then sleep 0.5; return 0; fi
    sleep 0.05
  done
  return 1
}
described() { isql "$1" "set heading off; set blob all; select RDB\$DESCRIPTION from RDB\$DATABASE;"; }
# Nothing of a stopped run is left: no record of switched-off triggers, no copy.
records() { isql "$1" "set heading off; set blob all; select RDB\$DESCRIPTION from RDB\$TRIGGERS where RDB\$SYSTEM_FLAG = 0;"; }
nothing_left() { ! records "$1" | grep -q 'gatilho desativado' && ! described "$1" | grep -q 'Conversor de dados' && ! compgen -G "${1%.fb}.copia-*" >/dev/null; }

# ---- a long run: the window answers the window manager, keys wait
db=$(fresh vivo)
start_tool && choose_file "$db"
xdotool key Tab Return # Convert
under_way "$db"
answered=0 worst=0
for _ in $(seq 6); do
  if ms=$("$build/xping" "$win" 3000); then
    answered=$((answered + 1))
    [ "$ms" -gt "$worst" ] && worst=$ms
  fi
  sleep 0.3
done
echo "pings answered: $answered of 6, the slowest in $worst ms"
check "during the run the window answers every ping" [ "$answered" = 6 ]
check "and at once (within 500 ms)" [ "$worst" -lt 500 ]
xdotool key Tab Return # during the run: to Exit, and Enter on it
sleep 0.5
check "the keys did not act during the run: the window is there, with no box yet" \
  bash -c "kill -0 $app && ! xdotool search --onlyvisible --name '^(Information|Error)\$' >/dev/null 2>&1"
wait_box 60
check "the run ends in the Information box" [ "$box" = Information ]
xdotool key Return
sleep 0.5
check "the window stays open after the run" kill -0 "$app"
check "with the tool still open, another program opens the file: every code converted once" \
  [ "$(holding "$db" 203456)" = $rows ]
kill -TERM "$app"
wait "$app"
status=$?
check "SIGTERM to the idle tool ends it with status 0" [ "$status" = 0 ]

# ---- SIGTERM in the middle of a run
db=$(fresh interrompido)
before=$(states "$db")
start_tool && choose_file "$db"
xdotool key Tab Return
under_way "$db"
kill -TERM "$app"
boxed=no
for _ in $(seq 100); do
  kill -0 "$app" 2>/dev/null || break
  visible '^(Information|Error)$' && boxed=yes
  sleep 0.1
done
wait "$app"
status=$?
cat "$work/app.err"
check "the process ends with a non-zero status" [ "$status" -ne 0 ] 
check "without a box" [ "$boxed" = no ]
check "saying so in one line that names the file, as --convert does" \
  [ "$(grep -c "^conversor: ${db//./\\.}: Conversão interrompida pelo usuário; nada foi alterado (SIGTERM)$" "$work/app.err")" = 1 ]
check "every row as before" [ "$(holding "$db" 1234567)" = $rows ]
check "every trigger as before" [ "$(states "$db")" = "$before" ]
check "nothing of the run is left to make good" nothing_left "$db"

# ---- closing the window in the middle of a run, three ways: the run stops as on SIGTERM
# (cancelled, undone, the triggers as before) and the window closes.
for way in alt+F4 "the window manager's close" Exit; do
  db=$(fresh "fechado-$(echo "$way" | tr -cd 'a-zA-Z')")
  before=$(states "$db")
  start_tool && choose_file "$db"
  xdotool key Tab Return
  under_way "$db"
  case $way in
    alt+F4) xdotool key alt+F4 ;;
    "the window manager's close") wmctrl -c "Conversor de dados - Malhavera -" ;;
    Exit) xdotool mousemove --window "$win" 524 211 click 1 ;; # the Exit picture
  esac
  check "closing with $way during a run ends the program" gone "$app"
  wait "$app" 2>/dev/null
  check "closing with $way: every row as before" [ "$(holding "$db" 1234567)" = $rows ]
  check "closing with $way: every trigger as before" [ "$(states "$db")" = "$before" ]
  check "closing with $way: nothing of the run left" nothing_left "$db"
done

# ---- a server that does not answer: the window waits on it off its own thread, and ending
# the program does not wait for it
coproc silent { exec python3 -c 'import socket, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8)
print(s.getsockname()[1], flush=True); time.sleep(600)'; }
pids+=($silent_PID)
read -r port <&"${silent[0]}"
remote="127.0.0.1/$port:/dados/loja.fb"
start_tool "$remote"
xdotool key Tab Tab Return # Convert, the path field holding the server's database
sleep 1
answered=0
for _ in $(seq 3); do "$build/xping" "$win" 500 >/dev/null && answered=$((answered + 1)); sleep 0.3; done
check "while the server does not answer, the window answers every ping at once" [ "$answered" = 3 ]
xdotool mousemove --window "$win" 524 211 click 1 # Exit
check "Exit while it waits on the server ends the program at once" bash -c "$(declare -f gone); for _ in \$(seq 15); do kill -0 $app 2>/dev/null || exit 0; sleep 0.1; done; exit 1"
wait "$app" 2>/dev/null
"$build/conversor" --convert "$remote" >"$work/silent.out" 2>"$work/silent.err" & convert=$!
pids+=($convert)
sleep 1
kill -TERM "$convert"
check "SIGTERM to --convert while it waits on the server ends it at once" bash -c "for _ in \$(seq 15); do kill -0 $convert 2>/dev/null || exit 0; sleep 0.1; done; exit 1"
wait "$convert"
status=$?
cat "$work/silent.err"
check "with 128 + SIGTERM" [ "$status" = 143 ]
check "saying the run was stopped" grep -q "^conversor: $remote: Conversão interrompida pelo usuário; nada foi alterado (SIGTERM)$" "$work/silent.err"

# ---- the display goes away in the middle of a run (a logout): undone, no crash
db=$(fresh sem-tela)
before=$(states "$db")
start_tool && choose_file "$db"
xdotool key Tab Return
under_way "$db"
kill -9 "${pids[0]}" # the X server
for _ in $(seq 600); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
wait "$app"
status=$?
cat "$work/app.err"
check "without its display the program ends" bash -c "! kill -0 $app 2>/dev/null"
check "by exit, not by a crash" [ "$status" -lt 128 ]
check "saying the run was undone" grep -q 'conversão interrompida ao fechar a tela; nada foi alterado' "$work/app.err"
check "without the display: every row as before" [ "$(holding "$db" 1234567)" = $rows ]
check "without the display: every trigger as before" [ "$(states "$db")" = "$before" ]
summary
