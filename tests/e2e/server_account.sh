#!/usr/bin/env bash
# Debian's layout: the server runs as an account of its own (here the test's, conversor-fb; the
# system's firebird account is never touched), which owns the database (0660) in a folder of its
# (0770). A user outside its group converts through the server, which takes the copy (its
# physical copy of the pages, .nbk, as its own account) and puts it back with --restore. A user in its group converts through the
# server too, this program copying the file with the database's group and mode, and puts that
# copy back; the server opens the restored file. server_account.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"

account=conversor-fb
system_user $account || { echo "FAIL: the server's account could not be made"; exit 1; }
another_user || exit 1 # outside the account's group
outsider=$user
insider=conversor-teste2
system_user $insider -G $account || { echo "FAIL: a user in the server's group could not be made"; exit 1; }
private_server $account || { echo "FAIL: the test's own server did not start as $account"; exit 1; }
mkdir -m 1777 "$work/home"
# as USER COMMAND...: run by USER, the test's server reached as the local one.
as() {
  local who=$1; shift
  runuser -u "$who" -- env -u FIREBIRD_LOCK HOME="$work/home" FIREBIRD="$FIREBIRD" "$@"
}

tables=2 rows=5000
total=$((tables * rows))
folder="$work/dados"
db="$folder/loja.fb"
mkdir "$folder"
big_db "$db" $tables $rows "CREATE TABLE LOG_ALTERACAO (N INTEGER);
SET TERM ^ ;
CREATE TRIGGER T01_AU FOR T01 AFTER UPDATE AS BEGIN INSERT INTO LOG_ALTERACAO VALUES (NEW.ID); END^
SET TERM ; ^
COMMIT;" >/dev/null
chown -R $account: "$folder"
chmod 0770 "$folder"
chmod 0660 "$db"

on_server() { isql "localhost:$db" "$1" "$password"; }
sql_value() { on_server "set heading off; $1" | awk 'NF { print $1 }'; }
count() { # count CODE: rows of all tables holding CODE, as the server reads them
  local sql="select 0"
  for i in $(seq $tables); do sql="$sql + (select count(*) from T$(printf %02d "$i") where CODPROD = '$1')"; done
  sql_value "$sql from rdb\$database;"
}
# codes_in FILE CODE: rows holding CODE in a file that no server holds (read by root)
codes_in() { value "$1" "select (select count(*) from T01 where CODPROD = '$2') + (select count(*) from T02 where CODPROD = '$2') from rdb\$database;"; }
# codes_in_pages NBK CODE: the same in a page copy of the server's, copied aside and opened as
# nbackup's restore leaves it
codes_in_pages() {
  rm -f "$work/aside.fb"
  cp "$1" "$work/aside.fb" && nbackup -F "$work/aside.fb" >/dev/null && codes_in "$work/aside.fb" "$2"
}
described() { on_server 'set heading off; set blob all; select RDB$DESCRIPTION from RDB$DATABASE;'; }
triggers() { sql_value "select trim(RDB\$TRIGGER_NAME) || '=' || RDB\$TRIGGER_INACTIVE from RDB\$TRIGGERS where RDB\$SYSTEM_FLAG = 0 order by 1;" | paste -sd, -; }
no_records() { ! on_server 'set heading off; set blob all; select RDB$DESCRIPTION from RDB$DATABASE;' | grep -q -e 'banco reservado' -e 'em andamento'; }
owned() { [ "$(stat -c '%U:%G %a' "$1")" = "$2" ]; }
# copy_named LOG: the safety copy a run's line names
copy_named() { sed -n 's/.*: Dados atualizados com sucesso! Cópia de segurança: \([^;]*\).*/\1/p' "$1"; }
before=$(triggers)

# ---- a user outside the server's group
check "the user outside the group cannot look into the database's folder" bash -c "! runuser -u $outsider -- test -r '$db'"
as $outsider "$build/conversor" --convert "$db" >"$work/outsider.log" 2>"$work/outsider.err"
status=$?
cat "$work/outsider.log" "$work/outsider.err"
check "the user outside the group converts, by the file's path" \
  bash -c "[ $status = 0 ] && grep -q '^$db: Dados atualizados com sucesso! ' '$work/outsider.log'"
check "through the server: every code rewritten, no trigger fired, the triggers as before" \
  bash -c "[ '$(count 203456)' = $total ] && [ '$(sql_value 'select count(*) from LOG_ALTERACAO;')' = 0 ] && [ '$(triggers)' = '$before' ]"
nbk=$(copy_named "$work/outsider.log")
check "the copy named is the server's copy of the pages, beside the database" bash -c "[[ '$nbk' == $folder/loja.copia-*.nbk ]] && [ -f '$nbk' ]"
check "written as the server's account" [ "$(stat -c %U "$nbk")" = $account ]
check "under the backup state nbackup leaves in its copies (not a database to open as it is)" \
  [ $(( $(od -A n -t u2 -j 42 -N 2 "$nbk") & 0xC00 )) = $((0x400)) ]
check "with the codes as they were" [ "$(codes_in_pages "$nbk" 1234567)" = $total ]
check "recorded whole in the database, by its name" grep -qF "cópia de segurança completa em «$nbk»" <(described)
check "the database is out of the backup state" [ "$(sql_value 'select mon$backup_state from mon$database;')" = 0 ]
check "the database is still the server's: owner, group, mode" owned "$db" "$account:$account 660"
check "nothing in the folder is the user's" [ -z "$(find "$folder" -user $outsider)" ]
# A sale after the conversion: the way back does not bring it, the converted database kept does.
on_server "insert into T01 values (-1, 'VENDA1'); commit;" >/dev/null
nbk_bytes=$(sha256sum <"$nbk")

as $outsider "$build/conversor" --restore "$nbk" >"$work/restore.log" 2>"$work/restore.err"
status=$?
cat "$work/restore.log" "$work/restore.err"
kept=$(sed -n 's/.*; o banco convertido foi guardado pelo servidor como //p' "$work/restore.log")
check "--restore of the server's copy puts the database back" \
  bash -c "[ $status = 0 ] && grep -q '^$nbk: banco restaurado a partir de $nbk; ' '$work/restore.log'"
check "the codes as they were, through the server" [ "$(count 1234567)" = $total ]
check "the sale made since is not in it" [ "$(sql_value "select count(*) from T01 where CODPROD = 'VENDA1';")" = 0 ]
check "without the records the copy carried" no_records
check "open to the shop, out of the backup state" [ "$(sql_value 'select mon$backup_state || mon$shutdown_mode from mon$database;')" = 00 ]
# The engine validates a database no one else has open; the attachments of the checks above
# may still be ending on the server's side.
check "the server let go of the database" server_let_go
gfix -v -full -user SYSDBA -password "$password" "localhost:$db" >"$work/gfix.log" 2>&1
check "whole to the engine's validation" bash -c "[ ! -s '$work/gfix.log' ] || ! cat '$work/gfix.log'"
check "the triggers as before the run" [ "$(triggers)" = "$before" ]
check "the copy itself untouched" [ "$(sha256sum <"$nbk")" = "$nbk_bytes" ]
check "the converted database kept by the server beside it, as a copy of its pages" \
  bash -c "[[ '$kept' == $folder/loja.convertido-*.nbk ]] && [ -f '$kept' ] && [ '$(stat -c %U "$kept")' = $account ]"
check "with the converted codes and the sale" \
  bash -c "[ '$(codes_in_pages "$kept" 203456)' = $total ] && [ '$(value "$work/aside.fb" "select count(*) from T01 where CODPROD = 'VENDA1';")' = 1 ]"
# The server's restore of a page copy makes the file anew with nbackup's mode, 0660 less the
# server's umask (022 here, as systemd's default): the group's write right is the administrator's
# to give back, as here.
check "the restored database is the server's, with the mode its page restore gives" owned "$db" "$account:$account 640"
chmod 0660 "$db"

# ---- a user in the server's group: the program copies the file, under the server's backup
# lock (the engine's file of changes meanwhile, loja.fb.delta, is the server's)
check "the user in the group can read the database and write its folder" \
  runuser -u $insider -- bash -c "test -r '$db' && test -w '$folder'"
# (A sanitized build's leak check cannot run under a debugger.)
as $insider env ASAN_OPTIONS=detect_leaks=0 gdb -batch -nx -ex 'set pagination off' -ex 'break safetycopy::copyFile' -ex run \
  -ex "shell stat -c %U:%G '$db.delta' >'$work/home/delta'" -ex continue \
  --args "$build/conversor" --convert "$db" >"$work/insider.log" 2>&1
cat "$work/insider.log" | grep -E 'conversor|Dados|exited'
check "the user in the group converts" grep -q "^$db: Dados atualizados com sucesso! " "$work/insider.log"
check "through the server: the file of changes under the backup lock was the server's" \
  [ "$(cat "$work/home/delta" 2>/dev/null)" = "$account:$account" ]
check "every code rewritten, no trigger fired" \
  bash -c "[ '$(count 203456)' = $total ] && [ '$(sql_value 'select count(*) from LOG_ALTERACAO;')' = 0 ]"
copy=$(copy_named "$work/insider.log")
check "the copy named is this program's, beside the database" bash -c "[[ '$copy' == $folder/loja.copia-*.fb ]] && [ -f '$copy' ]"
check "with the database's group and mode" owned "$copy" "$insider:$account 660"
check "and the codes as they were" [ "$(codes_in "$copy" 1234567)" = $total ]
check "no file of changes left, and no file of the user's but the copy and the list of codes" \
  bash -c "[ ! -e '$db.delta' ] && [ '$(find "$folder" -user $insider ! -name 'loja.de-para-*.csv' ! -name 'loja.de-para-*.xlsx')' = '$copy' ]"
check "the database is still the server's" owned "$db" "$account:$account 660"

as $insider "$build/conversor" --restore "$copy" >"$work/restore2.log" 2>"$work/restore2.err"
status=$?
cat "$work/restore2.log" "$work/restore2.err"
kept=$(sed -n 's/.*; o banco convertido foi guardado como //p' "$work/restore2.log")
check "--restore of the program's copy puts the database back" \
  bash -c "[ $status = 0 ] && grep -q '^$copy: banco restaurado a partir de $copy; ' '$work/restore2.log'"
check "the server opens the restored file: the codes as they were" [ "$(count 1234567)" = $total ]
check "without the records the copy carried" no_records
check "the restored file has the database's group and mode" bash -c "[ '$(stat -c '%G %a' "$db")' = '$account 660' ]"
check "the converted database kept beside it" \
  bash -c "[[ '$kept' == $folder/loja.convertido-*.fb ]] && [ '$(codes_in "$kept" 203456)' = $total ]"
check "a run afterwards converts again" \
  bash -c "$(declare -f as); work='$work' FIREBIRD='$FIREBIRD'; as $insider '$build/conversor' --convert --no-copy '$db' | grep -q ': Dados atualizados com sucesso! '"
summary
