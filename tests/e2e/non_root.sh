#!/usr/bin/env bash
# The tool run by a desktop user who is not root, after root has used the engine on this
# machine; and two processes of the tool on one file. non_root.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"

user=conversor-teste
id -u "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
as_user() { runuser -u "$user" -- env -u FIREBIRD -u FIREBIRD_LOCK "$@"; }
convert="$build/convert_file"
if ! as_user test -x "$convert"; then
  # A checkout in a folder closed to other users: run a copy, as an installed tool would be.
  cp "$convert" "$work/convert_file"
  convert="$work/convert_file"
fi

# Root uses the embedded engine first: its lock folder then belongs to root.
"$source/tools/make-sample-db" "$work/root.fb" >/dev/null
isql "$work/root.fb" "select count(*) from PRODUTOS;" >/dev/null
check "the engine's shared lock folder is closed to the user" bash -c "[ -d /tmp/firebird ] && ! runuser -u $user -- test -w /tmp/firebird"

mkdir "$work/home" && chown "$user" "$work/home"
"$source/tools/make-sample-db" "$work/home/loja.fb" >/dev/null
chown "$user" "$work/home/loja.fb"
as_user "$convert" "$work/home/loja.fb" >"$work/run.log" 2>&1
cat "$work/run.log"
check "the user converts a database of their own" grep -q '^Information: Dados atualizados com sucesso! $' "$work/run.log"
check "its codes were rewritten" [ "$(isql "$work/home/loja.fb" "set heading off; select count(*) from ESTOQUE where CODPROD in ('203456', '000000');" | awk 'NF { print $1 }')" = 2 ]

# Two processes on one file: the second is refused while the first runs, and the codes are
# rewritten once.
big="$work/home/grande.fb"
{
  printf "SET SQL DIALECT 1;\nCREATE DATABASE '%s' USER 'SYSDBA' PASSWORD 'x';\n" "$big"
  printf "SET TERM ^ ;\nCREATE FUNCTION SUBSTR (S VARCHAR(255), I SMALLINT, F SMALLINT) RETURNS VARCHAR(255) AS BEGIN RETURN SUBSTRING(S FROM I FOR F - I + 1); END^\n"
  for t in 1 2 3 4 5 6 7 8; do
    printf "CREATE TABLE T%s (CODPROD VARCHAR(10))^\nCOMMIT^\n" "$t"
    printf "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < 40000) DO BEGIN INSERT INTO T%s VALUES ('1234567'); I = I + 1; END END^\n" "$t"
  done
  printf "SET TERM ; ^\nCOMMIT;\n"
} | isql-fb -q >/dev/null
chown "$user" "$big"
as_user "$convert" "$big" >"$work/first.log" 2>&1 &
first=$!
sleep 0.4
as_user "$convert" "$big" >"$work/second.log" 2>&1
wait "$first"
cat "$work/second.log"
check "the first process converts" grep -q '^Information:' "$work/first.log"
check "the second is refused at the connect step" grep -q '^Error: Não foi possível conectar ao banco de dados Vestrel' "$work/second.log"
check "every code was rewritten exactly once" [ "$(isql "$big" "set heading off; select (select count(*) from T1 where CODPROD = '203456') + (select count(*) from T8 where CODPROD = '203456') from rdb\$database;" | awk 'NF { print $1 }')" = 80000 ]
summary
