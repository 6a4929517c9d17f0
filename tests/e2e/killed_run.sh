#!/usr/bin/env bash
# A run killed with SIGKILL in the middle of a large database leaves every table as before
# and a sound file; the next run converts each table once and leaves every trigger as it was
# before the first: the one the killed run had switched off on again, the one the user had
# switched off still off.
# killed_run.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"

db="$work/grande.fb"
tables=30 rows=20000
big_db "$db" $tables $rows "CREATE TABLE LOG_ALTERACAO (N INTEGER);
SET TERM ^ ;
CREATE TRIGGER T01_AU FOR T01 AFTER UPDATE AS BEGIN INSERT INTO LOG_ALTERACAO VALUES (NEW.ID); END^
CREATE TRIGGER T02_DESLIGADO FOR T02 INACTIVE AFTER UPDATE AS BEGIN INSERT INTO LOG_ALTERACAO VALUES (-1); END^
SET TERM ; ^
COMMIT;"

count() { # rows of all tables holding the code $1
  local sql="select 0"
  for i in $(seq $tables); do sql="$sql + (select count(*) from T$(printf %02d "$i") where CODPROD = '$1')"; done
  value "$db" "$sql from rdb\$database;"
}
triggers() { value "$db" "select trim(RDB\$TRIGGER_NAME) || '=' || RDB\$TRIGGER_INACTIVE from RDB\$TRIGGERS where RDB\$SYSTEM_FLAG = 0 order by 1;" | paste -sd, -; }
records() { cat "$XDG_STATE_HOME"/conversor/gatilhos/*.gatilhos 2>/dev/null | grep -v '^#'; }
before=$(triggers)
total=$((tables * rows))

"$build/conversor" --convert "$db" >"$work/first.log" 2>"$work/first.err" &
run=$!
# Killed once it has done about a third of its work, counted in CPU time (the engine runs
# inside the process), whatever the speed of the machine.
ticks() { awk '{ print $14 + $15 }' "/proc/$run/stat" 2>/dev/null || echo 0; }
for _ in $(seq 600); do [ "$(ticks)" -ge 80 ] && break; sleep 0.05; done
kill -9 "$run"
wait "$run" 2>/dev/null
check "the run was killed before it ended: no final message" [ ! -s "$work/first.log" ]
check "the killed run was in the middle: the triggers were still switched off" [ "$(triggers)" = "T01_AU=1,T02_DESLIGADO=1" ]
check "and the tool's record names the one it switched off" [ "$(records)" = T01_AU ]
check "every table holds its values from before the run" [ "$(count 1234567)" = "$total" ]
# Back versions of the killed transaction may stay behind as warnings; errors may not.
gfix -v -full -user SYSDBA -password x "$db" >"$work/gfix.log" 2>&1
gfix_status=$?
cat "$work/gfix.log"
valid() { [ "$gfix_status" = 0 ] && ! grep -qiE 'number of .*errors' "$work/gfix.log"; }
check "the file passes a full validation" valid

"$build/conversor" --convert "$db" >"$work/second.log" 2>/dev/null
check "the next run succeeds" grep -q ': Dados atualizados com sucesso! $' "$work/second.log"
check "each table was converted once" [ "$(count 203456)" = "$total" ]
check "every trigger is as it was before the first run" [ "$(triggers)" = "$before" ]
check "the record is gone" [ -z "$(records)" ]
check "the trigger did not fire during the run" [ "$(value "$db" 'select count(*) from LOG_ALTERACAO;')" = 0 ]
summary
