#!/usr/bin/env bash
# Runs cut short with SIGKILL, and what the next run makes of them, wherever the file has gone
# and whoever runs it: a run killed in the middle leaves every table as before, a sound file and
# the record of the triggers it switched off in the database itself; the next run converts each
# table once and leaves every trigger as it was before the first. A run killed right after its
# commit leaves a converted database that says so: the next run refuses it.
# killed_run.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"

# Another user, for a rerun by somebody else.
another_user || exit 1

tables=12 rows=20000
template="$work/modelo.fb"
big_db "$template" $tables $rows "CREATE TABLE LOG_ALTERACAO (N INTEGER);
SET TERM ^ ;
CREATE TRIGGER T01_AU FOR T01 AFTER UPDATE AS BEGIN INSERT INTO LOG_ALTERACAO VALUES (NEW.ID); END^
CREATE TRIGGER T02_DESLIGADO FOR T02 INACTIVE AFTER UPDATE AS BEGIN INSERT INTO LOG_ALTERACAO VALUES (-1); END^
SET TERM ; ^
COMMIT;" >/dev/null
total=$((tables * rows))

count() { # count DB CODE: rows of all tables holding CODE
  local sql="select 0"
  for i in $(seq $tables); do sql="$sql + (select count(*) from T$(printf %02d "$i") where CODPROD = '$2')"; done
  value "$1" "$sql from rdb\$database;"
}
triggers() { value "$1" "select trim(RDB\$TRIGGER_NAME) || '=' || RDB\$TRIGGER_INACTIVE from RDB\$TRIGGERS where RDB\$SYSTEM_FLAG = 0 order by 1;" | paste -sd, -; }
described() { isql "$1" "set heading off; set blob all; select RDB\$DESCRIPTION from RDB\$DATABASE;"; }
# The triggers' own descriptions, where a run records each one it switched off.
records() { isql "$1" "set heading off; set blob all; select trim(RDB\$TRIGGER_NAME) || ': ' || RDB\$DESCRIPTION from RDB\$TRIGGERS where RDB\$SYSTEM_FLAG = 0 and RDB\$DESCRIPTION is not null;"; }
fired() { value "$1" "select count(*) from LOG_ALTERACAO;"; }

# kill_mid_run DB: a run on DB killed once it has done about a third of its rewrites: after its
# safety copy has its name (the copy is whole, the triggers go off right after), counted from
# there in CPU time (the engine runs inside the process), whatever the speed of the machine and
# however long the copy took under load.
kill_mid_run() {
  "$build/conversor" --convert "$1" >"$work/killed.log" 2>"$work/killed.err" &
  local run=$! from=""
  cpu() { awk '{ print $14 + $15 }' "/proc/$run/stat" 2>/dev/null || echo 0; }
  for _ in $(seq 1200); do
    if [ -z "$from" ]; then
      compgen -G "${1%.fb}.copia-*.fb" >/dev/null && from=$(cpu)
    elif [ "$(cpu)" -ge $((from + 30)) ]; then
      break
    fi
    sleep 0.05
  done
  kill -9 "$run"
  wait "$run" 2>/dev/null
}

# ---- killed in the middle
db="$work/loja.fb"
cp "$template" "$db"
before=$(triggers "$db")
kill_mid_run "$db"
check "the run was killed before it ended: no final message" [ ! -s "$work/killed.log" ]
# The door the run closed (CONVERSOR$PORTA, on connect) stays closed, its own triggers off.
check "the killed run was in the middle: the triggers were switched off, the door closed" \
  [ "$(triggers "$db")" = 'CONVERSOR$PORTA=0,T01_AU=1,T02_DESLIGADO=1' ]
# shop_refused DB: a program logging in as the administrator cannot write with the triggers off.
shop_refused() {
  isql-fb -q -user SYSDBA -password x "$1" <<<"update T01 set CODPROD = '7654321' where ID = 1; commit;" >"$work/shop.log" 2>&1
  local status=$?
  cat "$work/shop.log"
  [ $status != 0 ] && grep -q "ninguém mais entra nele" "$work/shop.log" && grep -q "conversor --check $1" "$work/shop.log" \
    && [ "$(count "$1" 7654321)" = 0 ]
}
check "a program logging in as SYSDBA is refused at the door, told the file and the command" shop_refused "$db"
check "and the database itself records the one it switched off, on it" bash -c "$(declare -f isql records); records '$db' | grep -q 'gatilho desativado durante uma conversão' && records '$db' | grep -q '^T01_AU: '"
check "every table holds its values from before the run" [ "$(count "$db" 1234567)" = "$total" ]
# Back versions of the killed transaction may stay behind as warnings; errors may not.
gfix -v -full -user SYSDBA -password x "$db" >"$work/gfix.log" 2>&1
gfix_status=$?
valid() { [ "$gfix_status" = 0 ] && ! grep -qiE 'number of .*errors' "$work/gfix.log"; }
check "the file passes a full validation" valid
saved="$work/interrompido.fb"
cp "$db" "$saved"

# --check gives it back at once, on a desk too: triggers as before, the door open, and it says so.
cp "$saved" "$work/verificado.fb"
"$build/conversor" --check "$work/verificado.fb" >"$work/checked.log" 2>&1
cat "$work/checked.log"
given_back() {
  [ "$(triggers "$work/verificado.fb")" = "$before" ] \
    && grep -q '^  feito: a conversão interrompida de [0-9/]* [0-9:]* foi desfeita: os códigos estão como antes dela$' "$work/checked.log" \
    && isql-fb -q -user SYSDBA -password x "$work/verificado.fb" <<<"select count(*) from T01;" >/dev/null 2>&1
}
check "--check gives the database back: triggers as before, anyone attaches, and says what became of the run" given_back

# rerun_after WHAT: the killed database, moved, copied or handed on, converted by the next run.
rerun() { # rerun DB [as-user]: converts DB, checks each table converted once and the triggers as before
  local db=$1 out="$work/rerun.log"
  if [ "${2:-}" = as-user ]; then
    chmod a+rwx "$(dirname "$db")" && chmod a+rw "$db"
    runuser -u "$user" -- env -u FIREBIRD -u FIREBIRD_LOCK HOME="$work/outro" \
      "$convert" --convert "$db" >"$out" 2>/dev/null
  else
    "$build/conversor" --convert "$db" >"$out" 2>/dev/null
  fi
  grep -q ': Dados atualizados com sucesso! ' "$out" && [ "$(count "$db" 203456)" = "$total" ] \
    && [ "$(triggers "$db")" = "$before" ] && [ "$(fired "$db")" = 0 ] \
    && ! records "$db" | grep -q 'gatilho desativado'
}
mkdir -p "$work/outro" "$work/movido" "$work/copiado" "$work/usuario"
chown "$user" "$work/outro"
cp "$saved" "$work/usuario/loja.fb"
check "a rerun by another user, from another home, makes it good" rerun "$work/usuario/loja.fb" as-user
mv "$db" "$work/movido/loja.fb"
check "a rerun after the file was moved makes it good" rerun "$work/movido/loja.fb"
cp "$saved" "$work/copiado/loja.fb"
check "a rerun on a copy taken elsewhere makes the copy good" rerun "$work/copiado/loja.fb"
check "and the file it was copied from still says what it left off" [ "$(triggers "$saved")" = 'CONVERSOR$PORTA=0,T01_AU=1,T02_DESLIGADO=1' ]

# ---- an older copy put back in place: the user had switched T01_AU off in it, and on later
db="$work/antigo.fb"
cp "$template" "$db"
isql "$db" "alter trigger T01_AU inactive; commit;" >/dev/null
cp "$db" "$work/antigo-copia.fb"
isql "$db" "alter trigger T01_AU active; commit;" >/dev/null
kill_mid_run "$db"
cp "$work/antigo-copia.fb" "$db"
"$build/conversor" --convert "$db" >"$work/older.log" 2>/dev/null
check "the older copy put back converts" grep -q ': Dados atualizados com sucesso! ' "$work/older.log"
check "with the triggers as that copy had them: T01_AU stays off" [ "$(triggers "$db")" = "T01_AU=1,T02_DESLIGADO=1" ]

# ---- killed right after its commit, before it could say so
db="$work/commit.fb"
cp "$template" "$db"
# The run's last commit is its sixth: its reservation, the backup lock taken and let go of, the
# copy's own record (in the copy), the switch-off.
# (A sanitized build's leak check cannot run under a debugger.)
export ASAN_OPTIONS=detect_leaks=0
gdb -batch -nx -ex 'set pagination off' -ex 'handle SIGPIPE nostop noprint pass' \
  -ex 'break fb::Connection::commitWork' -ex 'ignore 1 5' -ex run -ex finish -ex kill \
  --args "$build/conversor" --convert "$db" >"$work/gdb.log" 2>&1
check "the run was killed after its commit, before its message" bash -c "grep -q 'Inferior 1 .* killed' '$work/gdb.log' && ! grep -q 'Dados atualizados' '$work/gdb.log'"
check "every code was converted" [ "$(count "$db" 203456)" = "$total" ]
"$build/conversor" --convert "$db" >"$work/again.log" 2>"$work/again.err"
status=$?
cat "$work/again.log" "$work/again.err"
check "the next run refuses it: converted already" bash -c "[ $status = 1 ] && grep -q 'parece já ter sido convertido (convertido em ' '$work/again.log' '$work/again.err'"
check "and changes nothing" [ "$(count "$db" 203456)" = "$total" ]

# ---- a signal while the commit is under way: its outcome decides
db="$work/sinal.fb"
cp "$template" "$db"
gdb -batch -nx -ex 'set pagination off' -ex 'break fb::Connection::commitWork' -ex 'ignore 1 5' -ex run \
  -ex 'signal SIGTERM' -ex delete -ex continue --args "$build/conversor" --convert "$db" >"$work/signal.log" 2>&1
cat "$work/signal.log" | grep -E 'conversor|Dados|exited' 
check "a SIGTERM during the commit: every code converted" [ "$(count "$db" 203456)" = "$total" ]
check "reported as converted, with status 0" \
  bash -c "grep -q ': Dados atualizados com sucesso! ' '$work/signal.log' && grep -q 'exited normally' '$work/signal.log'"
check "the triggers as before" [ "$(triggers "$db")" = "$before" ]
# ---- many triggers and a long description of the user's: 3,000 active triggers with names of
# 31 characters, and 60,000 bytes of the user's own text (a byte-order mark, Windows line ends):
# killed just before its final commit, the next run switches every one of them on again, and
# the user's text stays byte for byte.
db="$work/muitos.fb"
cp "$template" "$db"
isql "$db" "SET TERM ^ ;
EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN WHILE (I <= 3000) DO BEGIN
  EXECUTE STATEMENT 'CREATE TRIGGER GATILHO_DE_AUDITORIA_DE_PRO' || LPAD(I, 4, '0') ||
    ' FOR T01 AFTER UPDATE AS BEGIN INSERT INTO LOG_ALTERACAO VALUES (0); END'; I = I + 1; END END^
SET TERM ; ^
COMMIT;
COMMENT ON DATABASE IS x'EFBBBF$(for _ in $(seq 3000); do printf '4C6F6A612031202D20636164617374726F0D0A'; done)';
COMMIT;" >/dev/null
active() { value "$1" "select count(*) from RDB\$TRIGGERS where RDB\$SYSTEM_FLAG = 0 and RDB\$TRIGGER_INACTIVE = 0;"; }
noted() { value "$1" "select count(*) from RDB\$TRIGGERS where RDB\$SYSTEM_FLAG = 0 and RDB\$DESCRIPTION is not null;"; }
length() { value "$1" "select octet_length(RDB\$DESCRIPTION) from RDB\$DATABASE;"; }
# The hash of the description's first bytes (as bytes: the text would count a byte-order mark as one).
prefix() { value "$1" "select hash(substring(cast(RDB\$DESCRIPTION as blob sub_type binary) from 1 for $2)) from RDB\$DATABASE;"; }
check "3,000 user triggers are active, and the description has 57,003 bytes" [ "$(active "$db"),$(length "$db")" = "3001,57003" ]
users=$(prefix "$db" 57003)
gdb -batch -nx -ex 'set pagination off' -ex 'handle SIGPIPE nostop noprint pass' \
  -ex 'break fb::Connection::commitWork' -ex 'ignore 1 5' -ex run -ex kill \
  --args "$build/conversor" --convert "$db" >"$work/muitos.log" 2>&1
check "killed before its final commit: every trigger switched off, each with its record (the door on)" \
  [ "$(active "$db"),$(noted "$db")" = "1,3001" ]
check "every code as before" [ "$(count "$db" 1234567)" = "$total" ]
"$build/conversor" --convert "$db" >"$work/muitos-de-novo.log" 2>/dev/null
check "the next run converts" grep -q ': Dados atualizados com sucesso! ' "$work/muitos-de-novo.log"
check "with every trigger on again, and no record left" [ "$(active "$db"),$(noted "$db")" = "3001,0" ]
check "none of them fired" [ "$(fired "$db")" = 0 ]
check "the user's 57,003 bytes stay as they were, the conversion's line after them" \
  bash -c "[ '$(prefix "$db" 57003)' = '$users' ] && [ $(length "$db") -gt 57003 ]"
summary
