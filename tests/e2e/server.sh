#!/usr/bin/env bash
# A database that a running Firebird server holds open is converted through that server.
# Starts a server on loopback for this test only (firebird3.0-server, from scripts/setup),
# with the tool's administrator password. server.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"
password=quokkafen
listening() { ss -ltn 2>/dev/null | grep -q '127.0.0.1:3050 '; }

if listening; then
  echo "A Firebird server already listens on 3050: using it (its SYSDBA password must be $password)."
else
  [ -x /usr/sbin/firebird ] || { echo "FAIL: firebird3.0-server is not installed (scripts/setup --test)"; exit 1; }
  # The administrator's password is set in the server's security database while no server runs.
  isql-fb -q -user SYSDBA /var/lib/firebird/3.0/system/security3.fdb <<<"create or alter user SYSDBA password '$password' using plugin Srp; commit;" || exit 1
  mkdir "$work/server-lock" && chown firebird:firebird "$work/server-lock"
  FIREBIRD_LOCK="$work/server-lock" runuser -u firebird -- /usr/sbin/firebird >"$work/server.log" 2>&1 &
  server=$!
  cleanups+=("kill $server 2>/dev/null; wait $server 2>/dev/null")
  for _ in $(seq 50); do listening && break; sleep 0.1; done
fi
check "the server listens on loopback" listening

db="$work/loja.fb"
"$source/tools/make-sample-db" "$db" >/dev/null
chown firebird:firebird "$db"
# Someone is working in the database through the server, which holds the file.
mkfifo "$work/hold"
isql-fb -q -user SYSDBA -password "$password" "localhost:$db" <"$work/hold" >/dev/null 2>&1 &
pids+=($!)
exec 3>"$work/hold"
echo "select count(*) from PRODUTOS;" >&3
sleep 1
check "the file is held: the embedded engine is refused" \
  bash -c "isql-fb -q -user SYSDBA -password x '$db' <<<'select 1 from rdb\$database;' 2>&1 | grep -q 'Database already opened'"

"$build/convert_file" "$db" >"$work/run.log" 2>&1
cat "$work/run.log"
check "choosing the file converts it through the server" grep -q '^Information: Dados atualizados com sucesso! $' "$work/run.log"
codes=$(isql "localhost:$db" "set heading off; select CODPROD from ESTOQUE order by 1;" "$password" | awk 'NF { print $1 }' | tr '\n' ' ')
check "the codes were rewritten once" [ "$codes" = "000000 203456 " ]
exec 3>&-
summary
