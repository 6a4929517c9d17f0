#!/usr/bin/env bash
# A database chosen by a symbolic link to it: the safety copy lands beside the file, not the
# link, and --restore replaces the file, the link still pointing at it. Through the server that
# holds the file, and through the embedded engine. server_link.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"
private_server || { echo "FAIL: the test's own server did not start"; exit 1; }

mkdir "$work/dados" "$work/atalhos"
codes() { # codes DATABASE CODE: rows of T01 holding CODE
  isql "$1" "set heading off; select count(*) from T01 where CODPROD = '$2';" "$password" | awk 'NF { print $1 }'
}
# copy_named LOG: the safety copy a run's line names
copy_named() { sed -n 's/.*: Dados atualizados com sucesso! Cópia de segurança: \([^;]*\).*/\1/p' "$1"; }
points_at() { [ -L "$1" ] && [ "$(readlink -f "$1")" = "$2" ]; }

for route in servidor embutido; do
  file="$work/dados/$route.fb"
  link="$work/atalhos/$route.fb"
  big_db "$file" 1 2000 >/dev/null
  ln -s "../dados/$route.fb" "$link"
  # Through the server: it holds the file (and keeps it a while after its last connection),
  # and is the one to read it. Embedded: the file as it is.
  via=
  if [ $route = servidor ]; then
    via=localhost:
    isql "localhost:$file" "alter database set linger to 600; commit;" "$password" >/dev/null
  fi
  inode=$(stat -c %i "$file")
  "$build/conversor" --convert "$link" >"$work/$route.log" 2>"$work/$route.err"
  status=$?
  cat "$work/$route.log" "$work/$route.err"
  check "the file is converted by its link ($route)" \
    bash -c "[ $status = 0 ] && grep -q '^$link: Dados atualizados com sucesso! ' '$work/$route.log'"
  check "its codes were rewritten ($route)" [ "$(codes "$via$link" 203456)" = 2000 ]
  copy=$(copy_named "$work/$route.log")
  check "the copy named lands beside the file ($route)" bash -c "[[ '$copy' == $work/dados/$route.copia-*.fb ]] && [ -f '$copy' ]"
  # The list of codes goes where the user chose the database; nothing else does.
  check "nothing beside the link but the link and the list of codes ($route)" [ "$(ls "$work/atalhos" | grep -Ev "^$route\.de-para-.*\.(xlsx|csv)$" | grep -c "^$route\.")" = 1 ]
  check "the copy has the codes as they were ($route)" [ "$(codes "$copy" 1234567)" = 2000 ]
  # The copy says whose copy it is: the file itself, not the link, whatever the route.
  recorded=$(isql "$copy" "set heading off; set blob all; select RDB\$DESCRIPTION from RDB\$DATABASE;" "$password" | grep -c "cópia de segurança de «$file» feita em")
  check "the copy records whose copy it is: the file ($route)" [ "$recorded" = 1 ]

  "$build/conversor" --restore "$copy" >"$work/restore-$route.log" 2>"$work/restore-$route.err"
  status=$?
  cat "$work/restore-$route.log" "$work/restore-$route.err"
  kept=$(sed -n 's/.*; o banco convertido foi guardado como //p' "$work/restore-$route.log")
  check "--restore puts the copy back ($route)" \
    bash -c "[ $status = 0 ] && grep -q '^$copy: banco restaurado a partir de $copy; ' '$work/restore-$route.log'"
  check "in the file's place: the file is another, the link still a link to it ($route)" \
    bash -c "$(declare -f points_at); [ '$(stat -c %i "$file")' != '$inode' ] && points_at '$link' '$file'"
  check "the codes as they were, by the link ($route)" [ "$(codes "$via$link" 1234567)" = 2000 ]
  check "the converted database kept beside the file ($route)" \
    bash -c "[[ '$kept' == $work/dados/$route.convertido-*.fb ]] && [ '$(stat -c %i "$kept")' = '$inode' ]"
  check "and it opens, converted ($route)" [ "$(codes "$via$kept" 203456)" = 2000 ]
  check "nothing beside the link but the link and the list, still ($route)" [ "$(ls "$work/atalhos" | grep -Ev "^$route\.de-para-.*\.(xlsx|csv)$" | grep -c "^$route\.")" = 1 ]
done
summary
