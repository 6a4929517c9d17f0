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
# The run is under way once it has recorded the triggers it switches off.
under_way() { for _ in $(seq 200); do compgen -G "$XDG_STATE_HOME/conversor/gatilhos/*.gatilhos" >/dev/null && return 0; sleep 0.05; done; return 1; }

# ---- a long run: the window answers the window manager, keys wait
db=$(fresh vivo)
start_tool && choose_file "$db"
xdotool key Tab Return # Convert
under_way
sleep 0.5
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
under_way
sleep 1
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
check "saying so in one line" [ "$(grep -c '^conversor: conversão interrompida por SIGTERM' "$work/app.err")" = 1 ]
check "every row as before" [ "$(holding "$db" 1234567)" = $rows ]
check "every trigger as before" [ "$(states "$db")" = "$before" ]
check "nothing of the run is left to make good" bash -c "! compgen -G '$XDG_STATE_HOME/conversor/gatilhos/*.gatilhos' >/dev/null"
summary
