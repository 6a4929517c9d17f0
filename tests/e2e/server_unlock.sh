#!/usr/bin/env bash
# conversor --unlock on a database a Firebird server holds, left locked or closed by somebody
# else: under the engine's backup lock (isql's ALTER DATABASE BEGIN BACKUP) and shut down by
# gfix (single and full). A run refuses each, pointing at --unlock; --unlock gives the database
# back, and is refused while another connection is at work in it. server_unlock.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"
private_server || { echo "FAIL: the test's own server did not start"; exit 1; }

db="$work/loja.fb"
big_db "$db" 1 1000 "ALTER DATABASE SET LINGER TO 600; COMMIT;" >/dev/null
isql "localhost:$db" "create user VENDEDOR password 'vendas'; grant select on T01 to VENDEDOR; commit;" "$password" >/dev/null
on_server() { isql "localhost:$db" "$1" "$password"; }
sql_value() { on_server "set heading off; $1" | awk 'NF { print $1 }'; }
state() { sql_value 'select mon$shutdown_mode || mon$backup_state from mon$database;'; }
shop_works() { isql-fb -q -user VENDEDOR -password vendas "localhost:$db" <<<"select count(*) from T01;" >/dev/null 2>&1; }
unlock() { # unlock NAME: runs --unlock on the file, its output in $work/NAME.*
  "$build/conversor" --unlock "$db" >"$work/$1.log" 2>"$work/$1.err"
  unlocked=$?
  cat "$work/$1.log" "$work/$1.err"
}
run_refused() { # run_refused WHAT: a run is refused, saying WHAT, pointing at --unlock
  "$build/conversor" --convert "$db" >"$work/run.log" 2>"$work/run.err"
  local status=$?
  cat "$work/run.log" "$work/run.err"
  [ $status = 1 ] && grep -q "$1.*(conversor --unlock $db)" "$work/run.err"
}
unchanged() { [ "$(sql_value "select count(*) from T01 where CODPROD = '1234567';")" = 1000 ] && ! compgen -G "$work/loja.copia-*" >/dev/null; }

# ---- the engine's backup lock, taken by another program
on_server "alter database begin backup; commit;" >/dev/null
check "isql put the database under the backup lock" bash -c "[ '$(state)' = 01 ] && [ -e '$db.delta' ]"
check "a run refuses it, pointing at --unlock" run_refused 'sob a trava de cópia do Firebird'
# Somebody at work in the database meanwhile: nothing is done.
mkfifo "$work/hold"
isql-fb -q -user VENDEDOR -password vendas "localhost:$db" <"$work/hold" >/dev/null 2>&1 &
holder=$!
pids+=($holder)
exec 3<>"$work/hold"
echo "select count(*) from T01;" >&3
for _ in $(seq 100); do [ "$(attachments)" = 1 ] && break; sleep 0.1; done
unlock busy
check "--unlock is refused while another connection works in it" \
  bash -c "[ $unlocked = 1 ] && grep -q '^conversor: $db: Nada foi liberado. O banco está em uso por 1 outra conexão (VENDEDOR@$(hostname), .*isql-fb): feche-a e tente de novo\.$' '$work/busy.err'"
check "and the lock stays" [ "$(state)" = 01 ]
exec 3>&-
wait $holder 2>/dev/null
unlock backup
check "--unlock ends the lock, and says so" \
  bash -c "[ $unlocked = 0 ] && grep -q '^$db: a trava de cópia do Firebird foi liberada (ALTER DATABASE END BACKUP)\.$' '$work/backup.log'"
check "no lock, no file of changes" bash -c "[ '$(state)' = 00 ] && [ ! -e '$db.delta' ]"
check "nothing else changed: the codes as they were, no copy" unchanged
unlock nothing
check "--unlock again: nothing to do" bash -c "[ $unlocked = 0 ] && grep -q '^$db: nada a liberar\.$' '$work/nothing.log'"

# ---- shut down by gfix
for mode in single full; do
  gfix -shut $mode -force 0 -user SYSDBA -password "$password" "localhost:$db"
  check "gfix shut the database down ($mode): the shop's program is refused" bash -c "$(declare -f shop_works); db='$db'; ! shop_works"
  check "a run refuses it ($mode), pointing at --unlock" run_refused 'fechado para manutenção (shutdown)'
  unlock $mode
  check "--unlock brings it back online ($mode), and says so" \
    bash -c "[ $unlocked = 0 ] && grep -q '^$db: o banco fechado (shutdown) foi reaberto\.$' '$work/$mode.log'"
  check "online: the shop's program works again ($mode)" shop_works
  check "the database's state is normal ($mode)" [ "$(state)" = 00 ]
  check "nothing else changed ($mode): the codes as they were, no copy" unchanged
done
"$build/conversor" --convert "$db" >"$work/run.log" 2>/dev/null
check "a run afterwards converts" grep -q ': Dados atualizados com sucesso! ' "$work/run.log"
summary
