#!/usr/bin/env bash
# A run that rewrites a database a Firebird server holds has it to itself until it ends: while it
# rewrites, a second run, the tool's --check and --unlock, and another program (isql-fb, as the
# administrator) are all refused and change nothing; the run then converts every code once, with
# no trigger having fired, and the others attach again. The file is named by its path, as a
# clerk chooses it: the server holds it open. server_busy.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"
private_server || { echo "FAIL: the test's own server did not start"; exit 1; }

tables=4 rows=400000
total=$((tables * rows))
db="$work/loja.fb"
{
  echo "CREATE TABLE LOG_ALTERACAO (TABELA VARCHAR(8), N INTEGER);"
  echo "SET TERM ^ ;"
  for i in $(seq $tables); do
    printf "CREATE TRIGGER T%02d_AU FOR T%02d AFTER UPDATE AS BEGIN INSERT INTO LOG_ALTERACAO VALUES ('T%02d', NEW.ID); END^\n" "$i" "$i" "$i"
  done
  echo "SET TERM ; ^"
  echo "COMMIT;"
} >"$work/triggers.sql"
big_db "$db" $tables $rows "$(cat "$work/triggers.sql")" >/dev/null
# The server holds the file from here on (and for a while after its last connection).
isql "localhost:$db" "alter database set linger to 600; commit;" "$password" >/dev/null
on_server() { isql "localhost:$db" "$1" "$password"; }
sql_value() { on_server "set heading off; $1" | awk 'NF { print $1 }'; }
count() { # count CODE: rows of all tables holding CODE
  local sql="select 0"
  for i in $(seq $tables); do sql="$sql + (select count(*) from T$(printf %02d "$i") where CODPROD = '$1')"; done
  sql_value "$sql from rdb\$database;"
}
triggers() { sql_value "select trim(RDB\$TRIGGER_NAME) || '=' || RDB\$TRIGGER_INACTIVE from RDB\$TRIGGERS where RDB\$SYSTEM_FLAG = 0 order by 1;" | paste -sd, -; }
before=$(triggers)
check "the server holds the file: the embedded engine is refused" \
  bash -c "isql-fb -q -user SYSDBA -password x '$db' <<<'select 1 from rdb\$database;' 2>&1 | grep -q 'Database already opened'"

"$build/conversor" --convert "$db" >"$work/first.log" 2>"$work/first.err" &
first=$!
pids+=($first)
# Once the first table is rewritten, the run is in the middle of its rewrites.
for _ in $(seq 1200); do grep -q '^Atualizando tabela: T02' "$work/first.err" && break; sleep 0.05; done
check "the run is rewriting the second table" grep -q '^Atualizando tabela: T02' "$work/first.err"

# Another program: a row with an old code into a table the run has rewritten already, and a
# trigger switched on for a table it has yet to rewrite.
isql-fb -q -user SYSDBA -password "$password" "localhost:$db" >"$work/other.log" 2>&1 <<'EOF'
INSERT INTO T01 VALUES (-1, '1234567');
ALTER TRIGGER T04_AU ACTIVE;
COMMIT;
EOF
other=$?
cat "$work/other.log"
"$build/conversor" --convert "$db" >"$work/second.log" 2>"$work/second.err"
second=$?
cat "$work/second.log" "$work/second.err"
"$build/conversor" --unlock "$db" >"$work/unlock.log" 2>"$work/unlock.err"
unlocked=$?
cat "$work/unlock.log" "$work/unlock.err"
running() { kill -0 "$first" 2>/dev/null && ! grep -q 'Concluído' "$work/first.err"; }
check "all of them came while the run was still rewriting" running
# The check reads every table, and may outlast the run: what it says of the run was decided as
# it attached (its words show the run was going on then).
"$build/conversor" --check "$db" >"$work/check.log" 2>"$work/check.err"
checked=$?
cat "$work/check.log" "$work/check.err"

check "the other program, the administrator's, is refused at the door, told the file and the command" \
  bash -c "[ $other != 0 ] && grep -q 'ninguém mais entra nele' '$work/other.log' && grep -q 'conversor --check $db' '$work/other.log'"
check "the second run is refused" bash -c "[ $second = 1 ] && grep -q '^conversor: $db: ' '$work/second.err' && ! grep -q 'Dados atualizados' '$work/second.log'"
running_text="Uma conversão deste banco está em andamento desde [0-9/]* [0-9:]* (SYSDBA@"
check "saying why: a conversion of it is running, since when and where" grep -q "$running_text" "$work/second.err"
check "--check says the same, and changes nothing" bash -c "[ $checked = 1 ] && grep -q 'impede a conversão: $running_text' '$work/check.log'"
check "--unlock is refused, and frees nothing" \
  bash -c "[ $unlocked = 1 ] && grep -q '^conversor: $db: Nada foi liberado' '$work/unlock.err' && grep -q '$running_text' '$work/unlock.err'"

wait "$first"
status=$?
cat "$work/first.log"
check "the run converts" bash -c "[ $status = 0 ] && grep -q ': Dados atualizados com sucesso! ' '$work/first.log'"
check "other programs attach again" bash -c "isql-fb -q -user SYSDBA -password $password localhost:$db <<<'select 1 from rdb\$database;' >/dev/null 2>&1"
check "every code was rewritten exactly once" [ "$(count 203456)" = "$total" ]
check "no row the other program tried to write exists with an old code" \
  [ "$(sql_value "select count(*) from T01 where ID = -1 or CODPROD = '1234567';")" = 0 ]
check "no trigger fired during the run" [ "$(sql_value "select count(*) from LOG_ALTERACAO;")" = 0 ]
check "the triggers are as they were" [ "$(triggers)" = "$before" ]
online_unreserved() {
  [ "$(sql_value 'select mon$shutdown_mode from mon$database;')" = 0 ] \
    && ! on_server 'set blob all; select RDB$DESCRIPTION from RDB$DATABASE;' | grep -q 'banco reservado'
}
check "the database is online, without the run's reservation" online_unreserved
check "one safety copy: the first run's" [ "$(compgen -G "$work/loja.copia-*" | wc -l)" = 1 ]
summary
