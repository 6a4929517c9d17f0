#!/usr/bin/env bash
# Runs through a Firebird server cut short with SIGKILL: the database stays closed to the shop's
# programs (never open with its triggers off), and the next run, or conversor --check, gives it
# back as it was and goes on. Killed during the rewrite, and during the safety copy (the
# engine's backup lock held, the partial copy written). The file is named by its path; the
# server holds it. server_killed.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"
private_server || { echo "FAIL: the test's own server did not start"; exit 1; }

tables=3 rows=300000
total=$((tables * rows))
template="$work/modelo.fb"
big_db "$template" $tables $rows "CREATE TABLE LOG_ALTERACAO (N INTEGER);
SET TERM ^ ;
CREATE TRIGGER T01_AU FOR T01 AFTER UPDATE AS BEGIN INSERT INTO LOG_ALTERACAO VALUES (NEW.ID); END^
CREATE TRIGGER T03_AU FOR T03 AFTER UPDATE AS BEGIN INSERT INTO LOG_ALTERACAO VALUES (NEW.ID); END^
CREATE TRIGGER T02_DESLIGADO FOR T02 INACTIVE AFTER UPDATE AS BEGIN INSERT INTO LOG_ALTERACAO VALUES (-1); END^
SET TERM ; ^
GRANT SELECT, INSERT, UPDATE ON T01 TO VENDEDOR;
ALTER DATABASE SET LINGER TO 600;
COMMIT;" >/dev/null
# A shop's program logs in as a user of its own.
isql "localhost:$template" "create user VENDEDOR password 'vendas'; commit;" "$password" >/dev/null

on_server() { isql "localhost:$db" "$1" "$password"; }
sql_value() { on_server "set heading off; $1" | awk 'NF { print $1 }'; }
count() { # count CODE: rows of all tables holding CODE
  local sql="select 0"
  for i in $(seq $tables); do sql="$sql + (select count(*) from T$(printf %02d "$i") where CODPROD = '$1')"; done
  sql_value "$sql from rdb\$database;"
}
triggers() { sql_value "select trim(RDB\$TRIGGER_NAME) || '=' || RDB\$TRIGGER_INACTIVE from RDB\$TRIGGERS where RDB\$SYSTEM_FLAG = 0 order by 1;" | paste -sd, -; }
described() { on_server 'set heading off; set blob all; select RDB$DESCRIPTION from RDB$DATABASE;'; }
# describes PATTERN...: the description holds a line matching any PATTERN given (grep -e). Read
# whole first: under pipefail, a grep -q that stops reading early fails isql's write (SIGPIPE).
describes() { local said; said=$(described) && grep -q "${@/#/-e}" <<<"$said"; }
# The shop's programs, an ordinary user's and one logging in as the administrator: refused at
# the door the run closed, told the file and the command that gives it back; nothing written.
shop_refused() {
  local who
  for who in "VENDEDOR vendas" "SYSDBA $password"; do
    set -- $who
    isql-fb -q -user "$1" -password "$2" "localhost:$db" <<<"insert into T01 values (-1, '1234567'); commit;" >"$work/shop.log" 2>&1
    local status=$?
    cat "$work/shop.log"
    [ $status != 0 ] && grep -q 'ninguém mais entra nele' "$work/shop.log" && grep -q "conversor --check $db" "$work/shop.log" \
      || return 1
  done
  [ "$(sql_value 'select count(*) from T01 where ID = -1;')" = 0 ]
}
shop_works() { isql-fb -q -user VENDEDOR -password vendas "localhost:$db" <<<"select count(*) from T01;" >/dev/null 2>&1; }
given_back() { # online, its triggers as before, no record of the run
  [ "$(sql_value 'select mon$shutdown_mode from mon$database;')" = 0 ] \
    && [ "$(sql_value 'select mon$backup_state from mon$database;')" = 0 ] \
    && [ "$(triggers)" = "$before" ] && ! describes 'Conversor de dados'
}
# fresh NAME: a copy of the template as the database, held by the server from here on (its
# linger). A new file each time: the server would go on serving a file it holds after it was
# replaced.
fresh() {
  db="$work/$1.fb"
  cp "$template" "$db"
  on_server "select 1 from rdb\$database;" >/dev/null
}
converts() { # converts: the next run converts each code once, no trigger firing
  "$build/conversor" --convert "$db" >"$work/next.log" 2>"$work/next.err"
  local status=$?
  cat "$work/next.log"
  [ $status = 0 ] && grep -q ': Dados atualizados com sucesso! ' "$work/next.log" \
    && [ "$(count 203456)" = "$total" ] && [ "$(sql_value 'select count(*) from LOG_ALTERACAO;')" = 0 ] \
    && [ "$(triggers)" = "$before" ] && [ "$(sql_value 'select mon$shutdown_mode from mon$database;')" = 0 ]
}

# ---- killed during the rewrite
fresh reescrita
before=$(triggers)
"$build/conversor" --convert --no-copy "$db" >"$work/killed.log" 2>"$work/killed.err" &
run=$!
for _ in $(seq 1200); do grep -q '^Atualizando tabela: T02' "$work/killed.err" && break; sleep 0.05; done
kill -9 $run
wait $run 2>/dev/null
check "the run was killed in the middle of its rewrites" \
  bash -c "grep -q '^Atualizando tabela: T02' '$work/killed.err' && ! grep -q 'Concluído' '$work/killed.err'"
check "the shop's program is refused at once" shop_refused
# The server ends the statement the killed run had sent, and undoes its work.
check "the server lets go of the killed run" server_let_go
check "and the database stays closed to the shop's program" shop_refused
"$build/conversor" --check "$db" >"$work/check.log" 2>"$work/check.err"
status=$?
cat "$work/check.log" "$work/check.err"
check "--check gives it back: it says so" bash -c "[ $status = 0 ] \
  && grep -q '^  feito: a conversão interrompida de [0-9/]* [0-9:]* foi desfeita: os códigos estão como antes dela$' '$work/check.log' \
  && grep -q '^  feito: os gatilhos que ela deixou desativados foram reativados (T01_AU, T03_AU)$' '$work/check.log' \
  && grep -q '^  feito: o banco foi devolvido aos programas da loja$' '$work/check.log'"
check "online, triggers as before, the reservation gone" given_back
check "every code as before the run" [ "$(count 1234567)" = "$total" ]
check "the shop's program works again" shop_works
check "a run afterwards converts" converts

# ---- killed during the copy: the backup lock taken and the copy written, not yet finished
# (a sanitized build's leak check cannot run under a debugger)
export ASAN_OPTIONS=detect_leaks=0
kill_in_copy() {
  gdb -batch -nx -ex 'set pagination off' -ex 'handle SIGPIPE nostop noprint pass' \
    -ex 'break safetycopy::copyFile' -ex run -ex finish -ex kill \
    --args "$build/conversor" --convert "$db" >"$work/gdb.log" 2>&1
  grep -q 'Inferior 1 .* killed' "$work/gdb.log" && ! grep -q 'Dados atualizados' "$work/gdb.log" && server_let_go
}
partial() { compgen -G "${db%.fb}.copia-*.fb.parcial" >/dev/null; }
left_in_copy() { # what the killed copy left
  described
  partial && shop_refused && [ "$(described | grep -c 'Conversor de dados: ')" = 2 ] \
    && describes "cópia de segurança de «$db» em andamento em «${db%.fb}.copia-.*\.fb\.parcial»" \
    && describes 'banco reservado para uma conversão'
}
finished_copy() { # the next run's copy: whole, with the codes as they were
  local copy
  copy=$(compgen -G "${db%.fb}.copia-*.fb" | head -n1)
  [ -n "$copy" ] && [ "$(value "$copy" "select count(*) from T01 where CODPROD = '1234567';")" = $rows ]
}

fresh copia
check "a run killed during its copy" kill_in_copy
check "leaves the backup lock's record, the reservation and the partial copy; the shop's program is refused" left_in_copy
converts_after_copy() { converts && ! partial; }
no_record() { ! describes 'banco reservado' 'em andamento'; }
check "the next run ends the lock, removes the partial copy and converts" converts_after_copy
check "with a safety copy of its own" finished_copy
check "and no record of the killed run is left" no_record

fresh verificacao
check "a run killed during its copy, again" kill_in_copy
"$build/conversor" --check "$db" >"$work/check.log" 2>"$work/check.err"
status=$?
cat "$work/check.log" "$work/check.err"
check "--check ends the lock and gives the database back: it says so" bash -c "[ $status = 0 ] \
  && grep -q '^  feito: a trava de cópia que ela deixou foi liberada$' '$work/check.log' \
  && grep -q '^  feito: o banco foi devolvido aos programas da loja$' '$work/check.log'"
check "the partial copy is gone" bash -c "! compgen -G '${db%.fb}.copia-*.fb.parcial' >/dev/null"
check "online, no backup lock, triggers as before, no record" given_back
check "the shop's program works again" shop_works
check "a run afterwards converts" converts
summary
