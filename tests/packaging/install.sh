#!/usr/bin/env bash
# The program as a packager and a new user meet it: installed into a temporary prefix that is
# then moved, converting with the engine settings it finds beside itself; its desktop entry
# and AppStream file validated; the Debian package built and read. install.sh BUILD SOURCE
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"
id=br.com.malhavera.conversor

cmake --install "$build" --prefix "$work/prefix" >/dev/null
mv "$work/prefix" "$work/moved"
prefix="$work/moved"
has() { [ -e "$prefix/$1" ]; }
check "the program in bin/" has bin/conversor
check "its engine settings under lib/conversor" has lib/conversor/firebird/firebird.conf
check "the character-set module a file of its own there" bash -c "[ -f '$prefix/lib/conversor/firebird/intl/libfbintl.so' ] && [ ! -L '$prefix/lib/conversor/firebird/intl/libfbintl.so' ]"
check "the desktop entry" has share/applications/$id.desktop
check "the AppStream metadata" has share/metainfo/$id.metainfo.xml
check "the manual page" has share/man/man1/conversor.1.gz
for size in 16 32 48 64 128 256; do
  check "the icon at $size pixels" bash -c "file '$prefix/share/icons/hicolor/${size}x$size/apps/$id.png' | grep -q '$size x $size'"
done
check "the desktop entry is valid" desktop-file-validate "$prefix/share/applications/$id.desktop"
check "its window class is the program's" grep -qx 'StartupWMClass=conversor' "$prefix/share/applications/$id.desktop"
check "the AppStream file is valid" appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
check "the version is the project's" bash -c "'$prefix/bin/conversor' --version | grep -qx 'conversor [0-9.]*'"

# The moved program converts a database that takes SUBSTR from the classic UDF library, and
# one in WIN1252 with accented codes.
udf="$work/udf.fb" win="$work/win1252.fb"
{ printf "SET SQL DIALECT 1;\nCREATE DATABASE '%s' USER 'SYSDBA' PASSWORD 'x';\n" "$udf"
  cat "$source/tests/fixtures/substr-udf.sql"
  printf "CREATE TABLE PRODUTOS (CODPROD VARCHAR(10));\nINSERT INTO PRODUTOS VALUES ('1234567');\nCOMMIT;\n"; } | isql-fb -q
{ printf "SET NAMES UTF8;\nSET SQL DIALECT 1;\nCREATE DATABASE '%s' USER 'SYSDBA' PASSWORD 'x' DEFAULT CHARACTER SET WIN1252;\n" "$win"
  cat "$source/tests/fixtures/substr.sql"
  printf "CREATE TABLE PRODUTOS (CODPROD VARCHAR(10));\nINSERT INTO PRODUTOS VALUES ('Ç234567');\nCOMMIT;\n"; } | isql-fb -q
run_moved() { env -u FIREBIRD "$prefix/bin/conversor" --convert "$@"; }
run_moved "$udf" "$win" >"$work/moved.out" 2>"$work/moved.err"
status=$?
cat "$work/moved.out"
check "the moved program converts both" [ "$status" = 0 ]
code() { isql-fb -q -ch UTF8 -user SYSDBA -password x "$1" <<<"set heading off; select trim(CODPROD) from PRODUTOS;" | awk 'NF { print $1 }'; }
check "the classic SUBSTR rewrote the code" [ "$(code "$udf")" = 203456 ]
check "the WIN1252 code converted" [ "$(code "$win")" = 203456 ] # 'Ç' is the first character, left out
isql-fb -q -ch UTF8 -user SYSDBA -password x "$win" <<<"UPDATE PRODUTOS SET CODPROD = '1Ç34567'; COMMIT;"
run_moved "$win" >/dev/null 2>&1
check "an accented character in the middle stays" [ "$(code "$win")" = "Ç03456" ]

# Without its settings the program says so, and so does the failure they cause.
mv "$prefix/lib/conversor/firebird" "$prefix/lib/conversor/firebird.fora"
isql "$udf" "UPDATE PRODUTOS SET CODPROD = '1234567'; COMMIT;" >/dev/null
run_moved "$udf" >"$work/bare.out" 2>"$work/bare.err"
status=$?
cat "$work/bare.err" "$work/bare.out"
check "without its settings: a failed run" [ "$status" = 1 ]
check "saying on stderr that the settings are missing" grep -q 'configuração do Firebird do programa não foi encontrada' "$work/bare.err"
check "and in the run's failure" grep -q "^conversor: $udf: .*configuração do Firebird do programa não foi encontrada" "$work/bare.err"
mv "$prefix/lib/conversor/firebird.fora" "$prefix/lib/conversor/firebird"

# The Debian package.
(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) || cat "$work/cpack.log"
deb=$(ls "$work"/package/conversor_*.deb 2>/dev/null | head -n1)
check "cpack makes a .deb" [ -n "$deb" ]
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for package in libfbclient2 firebird3.0-server-core fonts-wine qt6-translations-l10n qt6-qpa-plugins libqt6widgets6 libc6; do
  check "it depends on $package" bash -c "grep -q '\\b$package\\b' <<<'$depends'"
done
files=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for file in ./usr/bin/conversor ./usr/lib/conversor/firebird/firebird.conf ./usr/lib/conversor/firebird/intl/libfbintl.so \
            ./usr/share/applications/$id.desktop ./usr/share/metainfo/$id.metainfo.xml ./usr/share/man/man1/conversor.1.gz \
            ./usr/share/icons/hicolor/48x48/apps/$id.png ./usr/share/doc/conversor/copyright; do
  check "it holds $file" grep -qx "$file" <<<"$files"
done
check "it installs under /usr only" bash -c "! grep -v '^./usr/' <<<'$files' | grep -vx './'"
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>/dev/null
cat "$work/lintian.log"
check "lintian finds no errors" bash -c "! grep -q '^E:' '$work/lintian.log'"
summary
