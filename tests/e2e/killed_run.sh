#!/usr/bin/env bash
# A run killed with SIGKILL in the middle of a large database leaves every table as before
# and a sound file; the next run converts each table once and leaves the triggers active.
# killed_run.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"

db="$work/grande.fb"
tables=30 rows=20000
{
  printf "SET SQL DIALECT 1;\nSET BAIL ON;\nCREATE DATABASE '%s' USER 'SYSDBA' PASSWORD 'x';\n" "$db"
  printf "SET TERM ^ ;\nCREATE FUNCTION SUBSTR (S VARCHAR(255), I SMALLINT, F SMALLINT) RETURNS VARCHAR(255) AS BEGIN RETURN SUBSTRING(S FROM I FOR F - I + 1); END^\nSET TERM ; ^\n"
  printf "CREATE TABLE LOG_ALTERACAO (N INTEGER);\n"
  for t in $(seq -w 1 $tables); do printf "CREATE TABLE T%s (ID INTEGER, CODPROD VARCHAR(10));\n" "$t"; done
  printf "COMMIT;\nSET TERM ^ ;\n"
  for t in $(seq -w 1 $tables); do
    printf "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < %d) DO BEGIN INSERT INTO T%s VALUES (:I, '1234567'); I = I + 1; END END^\n" "$rows" "$t"
  done
  printf "CREATE TRIGGER T01_AU FOR T01 AFTER UPDATE AS BEGIN INSERT INTO LOG_ALTERACAO VALUES (NEW.ID); END^\nSET TERM ; ^\nCOMMIT;\n"
} | isql-fb -q >/dev/null

count() { # rows of all tables holding the code $1
  local sql="select 0"
  for t in $(seq -w 1 $tables); do sql="$sql + (select count(*) from T$t where CODPROD = '$1')"; done
  isql "$db" "set heading off; $sql from rdb\$database;" | awk 'NF { print $1 }'
}
trigger() { isql "$db" "set heading off; select RDB\$TRIGGER_INACTIVE from RDB\$TRIGGERS where RDB\$TRIGGER_NAME = 'T01_AU';" | awk 'NF { print $1 }'; }
total=$((tables * rows))

"$build/convert_file" "$db" >"$work/first.log" 2>&1 &
run=$!
# Killed once it has done about a third of its work, counted in CPU time (the engine runs
# inside the process), whatever the speed of the machine.
ticks() { awk '{ print $14 + $15 }' "/proc/$run/stat" 2>/dev/null || echo 0; }
for _ in $(seq 600); do [ "$(ticks)" -ge 80 ] && break; sleep 0.05; done
kill -9 "$run"
wait "$run" 2>/dev/null
check "the run was killed before it ended" [ ! -s "$work/first.log" ]
check "the killed run was in the middle: the triggers were still switched off" [ "$(trigger)" = 1 ]
check "every table holds its values from before the run" [ "$(count 1234567)" = "$total" ]
# Back versions of the killed transaction may stay behind as warnings; errors may not.
gfix -v -full -user SYSDBA -password x "$db" >"$work/gfix.log" 2>&1
gfix_status=$?
cat "$work/gfix.log"
valid() { [ "$gfix_status" = 0 ] && ! grep -qiE 'number of .*errors' "$work/gfix.log"; }
check "the file passes a full validation" valid

"$build/convert_file" "$db" >"$work/second.log" 2>&1
check "the next run succeeds" grep -q '^Information: Dados atualizados com sucesso! $' "$work/second.log"
check "each table was converted once" [ "$(count 203456)" = "$total" ]
check "the triggers are active again" [ "$(trigger)" = 0 ]
check "the trigger did not fire during the run" [ "$(isql "$db" 'set heading off; select count(*) from LOG_ALTERACAO;' | awk 'NF { print $1 }')" = 0 ]
summary
