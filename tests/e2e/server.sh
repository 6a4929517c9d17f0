#!/usr/bin/env bash
# A database that a running Firebird server holds open is converted through that server.
# The server is this test's own: Debian's server program (firebird3.0-server, from
# scripts/setup --test) with a settings folder, a copy of the security database, a port and a
# lock folder in the test's temporary folder. Nothing of the system's Firebird changes.
# server.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"
[ -x /usr/sbin/firebird ] || { echo "FAIL: firebird3.0-server is not installed (scripts/setup --test)"; exit 1; }

# The test's own server (tests/support/private-server): the tool's settings with a port on
# loopback, its own security database and lock folder, in the test's folder; FIREBIRD names
# them, so that "localhost:" reaches it.
private_server || { echo "FAIL: the test's own server did not start"; exit 1; }
check "the test's own server listens on loopback" bash -c "ss -ltn | grep -q '127.0.0.1:$port '"

db="$work/loja.fb"
LD_PRELOAD=$fbintl "$source/tools/make-sample-db" "$db" >/dev/null
# The server keeps the file open for a while after the last connection has gone.
isql "localhost:$db" "alter database set linger to 60; commit;" "$password" >/dev/null
codes() { isql "localhost:$db" "set heading off; select CODPROD from ESTOQUE order by 1;" "$password" | awk 'NF { print $1 }' | tr '\n' ' '; }
triggers() { isql "localhost:$db" "set heading off; select trim(RDB\$TRIGGER_NAME) || '=' || RDB\$TRIGGER_INACTIVE from RDB\$TRIGGERS where RDB\$SYSTEM_FLAG = 0 order by 1;" "$password" | awk 'NF' | paste -sd, -; }
before_codes=$(codes)
before_triggers=$(triggers)

# Someone is working in the database through the server.
mkfifo "$work/hold"
isql-fb -q -user SYSDBA -password "$password" "localhost:$db" <"$work/hold" >/dev/null 2>&1 &
holder=$!
pids+=($holder)
exec 3<>"$work/hold"
echo "select count(*) from PRODUTOS;" >&3
sleep 1
check "the file is held: the embedded engine is refused" \
  bash -c "isql-fb -q -user SYSDBA -password x '$db' <<<'select 1 from rdb\$database;' 2>&1 | grep -q 'Database already opened'"

"$build/conversor" --convert "$db" >"$work/busy.log" 2>"$work/busy.err"
status=$?
cat "$work/busy.log" "$work/busy.err"
check "while another connection works in it, the run stops" [ $status = 1 ]
check "naming that connection" grep -q "O banco está em uso por 1 outra conexão (SYSDBA@$(hostname), [^)]*isql-fb): feche-a e converta de novo\.\$" "$work/busy.err"
check "with nothing changed: the codes" [ "$(codes)" = "$before_codes" ]
check "with nothing changed: the triggers" [ "$(triggers)" = "$before_triggers" ]
check "and no copy" bash -c "! compgen -G '$work/loja.copia-*.fb' >/dev/null"

# The other connection goes; the server still holds the file.
exec 3>&-
wait $holder 2>/dev/null
check "the file is still held by the server" \
  bash -c "isql-fb -q -user SYSDBA -password x '$db' <<<'select 1 from rdb\$database;' 2>&1 | grep -q 'Database already opened'"
"$build/conversor" --convert "$db" >"$work/run.log" 2>/dev/null
cat "$work/run.log"
check "once the others have gone, the run converts through the server" grep -q ': Dados atualizados com sucesso! ' "$work/run.log"
check "the codes were rewritten once" [ "$(codes)" = "000000 203456 " ]
check "the triggers are as they were" [ "$(triggers)" = "$before_triggers" ]
copy=$(compgen -G "$work/loja.copia-*.fb" | head -n1)
check "its safety copy, taken while the server held the file, is beside it" [ -n "$copy" ]
check "and opens with the codes as they were" \
  bash -c "[ \"\$(LD_PRELOAD=$fbintl isql-fb -q -nodbtriggers -user SYSDBA -password x '$copy' <<<'set heading off; select CODPROD from ESTOQUE order by 1;' | awk 'NF { print \$1 }' | tr '\\n' ' ')\" = '$before_codes' ]"
summary
