#!/usr/bin/env bash
# The tool run by a desktop user who is not root, after root has used the engine on this
# machine; and two processes of the tool on one file. non_root.sh BUILD_DIR SOURCE_DIR
# The user it adds is removed again at the end, with the lock folder the tool made for them.
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"

another_user || exit 1
mkdir "$work/home" && chown "$user" "$work/home"
as_user() { runuser -u "$user" -- env -u FIREBIRD -u FIREBIRD_LOCK HOME="$work/home" "$@"; }

# Root uses the embedded engine first: its lock folder then belongs to root.
"$source/tools/make-sample-db" "$work/root.fb" >/dev/null
isql "$work/root.fb" "select count(*) from PRODUTOS;" >/dev/null
check "the engine's shared lock folder is closed to the user" bash -c "[ -d /tmp/firebird ] && ! runuser -u $user -- test -w /tmp/firebird"

# The user makes the sample database as scripts/run does, with locks in a folder of their own.
as_user "$source/tools/make-sample-db" "$work/home/loja.fb" >"$work/sample.log" 2>&1
cat "$work/sample.log"
check "the user makes the sample database" [ -s "$work/home/loja.fb" ]
as_user "$convert" --convert "$work/home/loja.fb" >"$work/run.log" 2>&1
cat "$work/run.log"
check "the user converts a database of their own" grep -q ': Dados atualizados com sucesso! ' "$work/run.log"
check "its codes were rewritten" [ "$(value "$work/home/loja.fb" "select count(*) from ESTOQUE where CODPROD in ('203456', '000000');")" = 2 ]

# A database in a folder the user cannot write (the file theirs, as a share gives it): without
# a copy, the run converts it and writes its list of codes in the user's home, both files of
# one name, and says so.
mkdir -m 755 "$work/compartilhada"
"$source/tools/make-sample-db" "$work/compartilhada/loja.fb" >/dev/null && chown "$user" "$work/compartilhada/loja.fb"
as_user "$convert" --convert --no-copy "$work/compartilhada/loja.fb" >"$work/shared.log" 2>&1
cat "$work/shared.log"
sheet=$(sed -n 's/.*: Dados atualizados com sucesso! Códigos antigos e novos: \([^;]*\); A mesma lista, para importar: .*$/\1/p' "$work/shared.log")
csv=$(sed -n 's/.*; A mesma lista, para importar: \(.*\)$/\1/p' "$work/shared.log")
check "the run in a folder the user cannot write names its list in the user's home" \
  bash -c "[[ '$sheet' == $work/home/loja.de-para-*.xlsx ]] && [ '$csv' = '${sheet%.xlsx}.csv' ]"
check "both files there, the user's" \
  bash -c "[ -f '$sheet' ] && [ -f '$csv' ] && [ \"\$(stat -c %U '$sheet' '$csv' | sort -u)\" = '$user' ]"
check "nothing new in the folder" [ "$(ls "$work/compartilhada")" = loja.fb ]

# Two processes on one file: the second is refused while the first runs, and the codes are
# rewritten once.
big="$work/home/grande.fb"
big_db "$big" 8 40000 >/dev/null
chown "$user" "$big"
as_user "$convert" --convert "$big" >"$work/first.log" 2>/dev/null &
first=$!
# The first holds the file once it is making its safety copy.
for _ in $(seq 200); do compgen -G "$work/home/grande.copia-*.fb" >/dev/null && break; sleep 0.05; done
as_user "$convert" --convert "$big" >"$work/second.log" 2>"$work/second.err"
wait "$first"
cat "$work/second.log" "$work/second.err"
check "the first process converts" grep -q ': Dados atualizados com sucesso! ' "$work/first.log"
check "the second is refused at the connect step" grep -q "^conversor: $big: Não foi possível conectar ao banco de dados Vestrel" "$work/second.err"
check "every code was rewritten exactly once" [ "$(value "$big" "select (select count(*) from T01 where CODPROD = '203456') + (select count(*) from T08 where CODPROD = '203456') from rdb\$database;")" = 80000 ]
summary
