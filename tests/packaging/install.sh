#!/usr/bin/env bash
# The program as a packager and a new user meet it: installed into a temporary prefix that is
# then moved, converting with the engine settings it finds beside itself; its desktop entry,
# MIME type and AppStream file validated; the Debian package built and read, its program's
# hardening read back, compared with the system's Firebird packages, and installed by dpkg
# where only the test sees it. install.sh BUILD SOURCE
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
. "$source/tests/e2e/lib.sh"
id=br.com.malhavera.conversor
# The system's character-set module, by its real path.
fbintl=$(readlink -f "$(dpkg -L firebird3.0-server-core | grep '/intl/libfbintl\.so$')")

cmake --install "$build" --prefix "$work/prefix" >/dev/null
mv "$work/prefix" "$work/moved"
prefix="$work/moved"
settings="$prefix/lib/conversor/firebird"
has() { [ -e "$prefix/$1" ]; }
check "the program in bin/" has bin/conversor
check "its engine settings under lib/conversor" has lib/conversor/firebird/firebird.conf
check "their firebird.conf a file under etc/conversor" bash -c "[ -f '$prefix/etc/conversor/firebird.conf' ] && [ ! -L '$prefix/etc/conversor/firebird.conf' ]"
check "which the settings folder links to, relatively" [ "$(readlink "$settings/firebird.conf")" = ../../../etc/conversor/firebird.conf ]
check "the character-set module a link to the system's, by its real path" [ "$(readlink "$settings/intl/libfbintl.so")" = "$fbintl" ]
check "no file of the engine's in the settings folder" bash -c "[ -z \"\$(find '$settings' -type f)\" ]"
check "the desktop entry" has share/applications/$id.desktop
check "the AppStream metadata" has share/metainfo/$id.metainfo.xml
check "the manual page" has share/man/man1/conversor.1.gz
for size in 16 32 48 64 128 256; do
  check "the icon at $size pixels" bash -c "file '$prefix/share/icons/hicolor/${size}x$size/apps/$id.png' | grep -q '$size x $size'"
done
check "the desktop entry is valid" desktop-file-validate "$prefix/share/applications/$id.desktop"
check "its window class is the program's" grep -qx 'StartupWMClass=conversor' "$prefix/share/applications/$id.desktop"
check "it hands the program the file it opens" grep -qx 'Exec=conversor %f' "$prefix/share/applications/$id.desktop"
check "the AppStream file is valid" appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
# A view stores no code: the description says it is left as it is, never that it is converted.
appstream_text=$(tr -s ' \n' '  ' <"$prefix/share/metainfo/$id.metainfo.xml")
check "the AppStream text leaves views out" grep -q 'Visões e colunas calculadas não guardam códigos e ficam como estão' <<<"$appstream_text"
check "and never says views are converted" bash -c "! grep -Eqi 'vis(õ|o)es[^.]*convertidas' <<<\"\$1\"" _ "$appstream_text"
check "the AppStream release is the changelog's newest entry" \
  grep -q "<release version=\"$(sed -n '1s/^conversor (\([^)]*\)).*/\1/p' "$source/packaging/changelog")\" date=\"$(date -u -d "$(sed -n '0,/^ -- /s/^ -- .*>  //p' "$source/packaging/changelog")" +%F)\"/>" \
  "$prefix/share/metainfo/$id.metainfo.xml"
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
run_moved() { env -u FIREBIRD "$prefix/bin/conversor" --convert --no-copy "$@"; }
# reset DB CODE: the database as before any run: the code, and no mark of a conversion.
reset() { isql-fb -q -ch UTF8 -user SYSDBA -password x "$1" <<<"UPDATE PRODUTOS SET CODPROD = '$2'; COMMENT ON DATABASE IS NULL; COMMIT;"; }
run_moved "$udf" "$win" >"$work/moved.out" 2>"$work/moved.err"
status=$?
cat "$work/moved.out" "$work/moved.err"
check "the moved program converts both" [ "$status" = 0 ]
code() { isql-fb -q -ch UTF8 -user SYSDBA -password x "$1" <<<"set heading off; select trim(CODPROD) from PRODUTOS;" | awk 'NF { print $1 }'; }
check "the classic SUBSTR rewrote the code" [ "$(code "$udf")" = 203456 ]
check "the WIN1252 code converted" [ "$(code "$win")" = 203456 ] # 'Ç' is the first character, left out
reset "$win" 1Ç34567
run_moved "$win" >/dev/null 2>&1
check "an accented character in the middle stays" [ "$(code "$win")" = "Ç03456" ]

# The settings in effect are the configuration's: external functions switched off there, the
# classic SUBSTR is refused.
conf="$prefix/etc/conversor/firebird.conf"
cp "$conf" "$work/firebird.conf.kept"
sed -i 's/^UdfAccess = .*/UdfAccess = None/' "$conf"
reset "$udf" 1234567
run_moved "$udf" >"$work/noudf.out" 2>&1
status=$?
cat "$work/noudf.out"
check "with external functions off in etc/conversor/firebird.conf, the classic SUBSTR is refused" \
  bash -c "[ $status = 1 ] && grep -q 'SUBSTR' '$work/noudf.out'"
cp "$work/firebird.conf.kept" "$conf"

# Without its settings the program says so, and so does the failure they cause.
mv "$settings" "$settings.fora"
run_moved "$udf" >"$work/bare.out" 2>"$work/bare.err"
status=$?
cat "$work/bare.err" "$work/bare.out"
check "without its settings: a failed run" [ "$status" = 1 ]
check "saying on stderr that the settings are missing" grep -q 'configuração do Firebird do programa não foi encontrada' "$work/bare.err"
check "and in the run's failure" grep -q "^conversor: $udf: .*configuração do Firebird do programa não foi encontrada" "$work/bare.err"
mv "$settings.fora" "$settings"

# Configuring where the engine is missing stops at once and says what to install.
cmake -S "$source" -B "$work/no-engine" -DBUILD_TESTING=OFF -DFIREBIRD_ENGINE_ROOT="$work/none" >"$work/no-engine.log" 2>&1
status=$?
tail -n 8 "$work/no-engine.log"
check "configuring without the engine fails" [ "$status" != 0 ]
check "naming the engine's package" bash -c "tr -s ' \n' ' ' <'$work/no-engine.log' | grep -q \"Install Debian's firebird3.0-server-core\""

# The MIME type of Firebird databases: its entry, the desktop entry that opens it, and a MIME
# database of the test's own, made by update-mime-database from the system's definitions and
# this one, asked through GIO (as file managers ask) what the files are.
mimexml="$prefix/share/mime/packages/$id.xml"
check "the MIME entry" has share/mime/packages/$id.xml
check "it is well-formed" xmllint --noout "$mimexml"
mime=$(xmllint --xpath 'string(//*[local-name()="mime-type"]/@type)' "$mimexml" 2>/dev/null)
echo "MIME type: $mime"
check "it names a type" [ -n "$mime" ]
check "the desktop entry opens that type" grep -qx "MimeType=$mime;" "$prefix/share/applications/$id.desktop"
check "and the AppStream file says so" grep -q "<mediatype>$mime</mediatype>" "$prefix/share/metainfo/$id.metainfo.xml"
mkdir -p "$work/mime/packages"
cp /usr/share/mime/packages/*.xml "$mimexml" "$work/mime/packages/"
XDG_DATA_DIRS="$work" update-mime-database "$work/mime" >"$work/update-mime.log" 2>&1
status=$?
cat "$work/update-mime.log"
check "update-mime-database takes it without a complaint" bash -c "[ $status = 0 ] && [ ! -s '$work/update-mime.log' ]"
check "its comment in Portuguese" \
  [ "$(xmllint --xpath 'string(//*[local-name()="comment"][@xml:lang="pt"])' "$work/mime/$mime.xml" 2>/dev/null)" = "Banco de dados Firebird" ]
# filetype FILE: the type GIO gives FILE from the test's MIME database.
filetype() {
  env -i PATH="$PATH" HOME="$work" XDG_DATA_HOME="$work/no-data" XDG_DATA_DIRS="$work" \
    gio info -a standard::content-type "$1" 2>/dev/null | sed -n 's/^ *standard::content-type: //p'
}
cp "$udf" "$work/LOJA.FDB"
cp "$udf" "$work/antigo.gdb"
printf 'break main\nrun\n' >"$work/comandos.gdb"
check "a .fb file is of that type" [ "$(filetype "$udf")" = "$mime" ]
check "so is LOJA.FDB" [ "$(filetype "$work/LOJA.FDB")" = "$mime" ]
check "and a database named .gdb, by its content" [ "$(filetype "$work/antigo.gdb")" = "$mime" ]
check "but not GDB's commands in a .gdb" [ "$(filetype "$work/comandos.gdb")" = text/plain ]

# The Debian package.
(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) || cat "$work/cpack.log"
deb=$(ls "$work"/package/conversor_*.deb 2>/dev/null | head -n1)
check "cpack makes a .deb" [ -n "$deb" ]
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
check "each dependency once" [ -z "$(sort <<<"$names" | uniq -d)" ]
for package in "firebird3.0-server-core (>= 3.0)" "libfbclient2 (>= 3.0)"; do
  check "it depends on $package, any update of it" bash -c "tr ',' '\n' <<<'$depends' | sed 's/^ *//' | grep -qxF '$package'"
done
for package in fonts-wine hicolor-icon-theme qt6-translations-l10n qt6-qpa-plugins libqt6widgets6 libxlsxwriter4 libc6; do
  check "it depends on $package" grep -qx "$package" <<<"$names"
done
listing=$(dpkg-deb -c "$deb")
files=$(awk '{ print $6 }' <<<"$listing")
for file in ./usr/bin/conversor ./etc/conversor/firebird.conf ./usr/share/applications/$id.desktop \
            ./usr/share/metainfo/$id.metainfo.xml ./usr/share/man/man1/conversor.1.gz \
            ./usr/share/icons/hicolor/48x48/apps/$id.png ./usr/share/doc/conversor/copyright; do
  check "it holds $file" grep -qx "$file" <<<"$files"
done
link() { awk -v f="$1" '$6 == f && $7 == "->" { print $8 }' <<<"$listing"; }
check "its engine settings' firebird.conf the configuration in /etc" \
  [ "$(link ./usr/lib/conversor/firebird/firebird.conf)" = /etc/conversor/firebird.conf ]
check "its character-set module the system's, by its real path" \
  [ "$(realpath -m "/usr/lib/conversor/firebird/intl/$(link ./usr/lib/conversor/firebird/intl/libfbintl.so)")" = "$fbintl" ]
for conf in databases.conf plugins.conf fbtrace.conf; do
  check "its $conf the system's" [ "$(link ./usr/lib/conversor/firebird/$conf)" = "$(readlink -f /usr/lib/*/firebird/3.0/$conf)" ]
done
check "it installs under /usr and its configuration in /etc/conversor only" \
  bash -c "! grep -v -e '^./usr/' -e '^./etc/conversor/' <<<'$files' | grep -vx -e './' -e './etc/'"
conffiles=$(dpkg-deb -I "$deb" conffiles 2>/dev/null)
echo "conffiles: $conffiles"
check "its configuration files are conffiles, and only they" \
  [ "$conffiles" = "$(grep '^./etc/.*[^/]$' <<<"$files" | sed 's/^\.//')" ]

dpkg-deb -x "$deb" "$work/unpacked"
scripts=$(dpkg-deb -I "$deb" | grep -Eo '\b(pre|post)(inst|rm)\b')
check "no maintainer script: dpkg's triggers make its MIME type and desktop entry known" [ -z "$scripts" ]

# Its program built as Debian builds its own (dpkg-buildflags, hardening=+all), read back from
# the package's and from the one cmake --install put in place. Not the sanitized build's: it
# goes without (cmake/Hardening.cmake).
sanitized=$(sed -n 's/^CONVERSOR_SANITIZE:BOOL=//p' "$build/CMakeCache.txt")
[ "$sanitized" = ON ] && echo "The sanitized build: its hardening is not checked."
for bin in "$work/unpacked/usr/bin/conversor" "$prefix/bin/conversor"; do
  [ "$sanitized" = ON ] && break
  name=${bin#"$work"/}
  check "$name: position-independent" bash -c "readelf -hW '$bin' | grep -Eq 'Type: +DYN' && readelf -dW '$bin' | grep -Eq '\(FLAGS_1\).* PIE'"
  check "$name: its relocations read-only after start (RELRO)" bash -c "readelf -lW '$bin' | grep -q GNU_RELRO"
  check "$name: bound at start (BIND_NOW)" bash -c "readelf -dW '$bin' | grep -Eq '\(FLAGS\).* BIND_NOW' && readelf -dW '$bin' | grep -Eq '\(FLAGS_1\).* NOW'"
  check "$name: the stack protector" bash -c "readelf --dyn-syms -W '$bin' | awk '\$7 == \"UND\" && \$8 ~ /^__stack_chk_fail@/ { found = 1 } END { exit !found }'"
  check "$name: libc's fortified functions (__*_chk)" \
    bash -c "readelf --dyn-syms -W '$bin' | awk '\$7 == \"UND\" && \$8 ~ /^__[a-z0-9_]+_chk@/ && \$8 !~ /^__stack_chk_fail@/ { found = 1 } END { exit !found }'"
done
check "the package's program stripped as dh_strip strips: no .comment or .note section" \
  bash -c "! readelf -SW '$work/unpacked/usr/bin/conversor' | grep -Eq '\] (\.comment|\.note) '"

# Nothing in it is another package's: no path another package owns, no file with the content
# of one of the Firebird packages' files.
others=$(cd "$work/unpacked" && find . ! -type d | sed 's/^\.//' | while read -r f; do
  owner=$(dpkg -S "$f" 2>/dev/null | cut -d: -f1)
  [ -n "$owner" ] && [ "$owner" != conversor ] && echo "$f ($owner)"
done)
echo "$others"
check "no path of another package's" [ -z "$others" ]
firebird_packages=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' 'firebird*' 'libfbclient*' 'libib-util*' | awk '$1 == "ii" { print $2 }')
echo "The Firebird packages:" $firebird_packages
their_sums=$(for p in $firebird_packages; do dpkg -L "$p"; done | while read -r f; do [ -f "$f" ] && [ ! -L "$f" ] && echo "$f"; done \
  | xargs -d '\n' sha256sum | awk '{ print $1 }' | sort -u)
our_sums=$(find "$work/unpacked" -type f -print0 | xargs -0 sha256sum | awk '{ print $1 }' | sort -u)
check "the Firebird packages have files to compare with" [ "$(wc -l <<<"$their_sums")" -gt 50 ]
copied=$(comm -12 <(echo "$their_sums") <(echo "$our_sums"))
check "no file copied from the Firebird packages" [ -z "$copied" ]

# The package as dpkg installs it, seen by the test alone: in a mount namespace of its own,
# where /usr, /etc and /var take every change in folders of the test's laid over the system's.
# dpkg's triggers make its MIME type and desktop entry known; it converts both databases,
# with the settings of its conffile.
mkdir -p "$work"/overlay/{usr,etc,var}{,-work}
system_state() {
  ls -ld --full-time /etc/conversor /usr/bin/conversor /usr/lib/conversor /usr/share/mime/mime.cache \
    /usr/share/applications/mimeinfo.cache /var/lib/dpkg/status 2>&1
}
system_before=$(system_state)
installed() {
  unshare --mount --propagation private bash -c '
    for dir in usr etc var; do
      mount -t overlay overlay -o "lowerdir=/$dir,upperdir=$0/$dir,workdir=$0/$dir-work" "/$dir" || exit
    done
    env -u FIREBIRD "$@"' "$work/overlay" "$@"
}
installed dpkg -i "$deb" >"$work/dpkg.log" 2>&1
status=$?
cat "$work/dpkg.log"
check "dpkg installs the package" \
  [ "$status:$(installed dpkg-query -W -f='${Status}' conversor 2>&1)" = "0:install ok installed" ]
# gio ARGS...: GIO's tool there, as a user of the test's own runs it.
gio_installed() { installed env -i PATH="$PATH" HOME="$work" XDG_DATA_HOME="$work/no-data" gio "$@" 2>/dev/null; }
check "there the system's MIME database knows Firebird databases (shared-mime-info's trigger)" \
  [ "$(gio_installed info -a standard::content-type "$work/LOJA.FDB" | sed -n 's/^ *standard::content-type: //p')" = "$mime" ]
check "the desktop entries' MIME cache has the program for them (desktop-file-utils' trigger)" \
  installed grep -Eq "^$mime=(.*;)?$id\.desktop;" /usr/share/applications/mimeinfo.cache
opens_them() { grep -q "^Default application for .*: $id\.desktop\$" <<<"$(gio_installed mime "$mime")"; }
check "so file managers open them with it" opens_them
reset "$udf" 1234567
reset "$win" Ç234567
installed /usr/bin/conversor --convert --no-copy "$udf" "$win" >"$work/installed.out" 2>&1
status=$?
cat "$work/installed.out"
check "the installed package converts both" [ "$status" = 0 ]
check "its classic SUBSTR rewrote the code" [ "$(code "$udf")" = 203456 ]
check "its WIN1252 code converted" [ "$(code "$win")" = 203456 ]
reset "$udf" 1234567
installed bash -c "sed -i 's/^UdfAccess = .*/UdfAccess = None/' /etc/conversor/firebird.conf && /usr/bin/conversor --convert --no-copy '$udf'" \
  >"$work/installed-noudf.out" 2>&1
status=$?
check "with external functions off in its /etc/conversor/firebird.conf, the classic SUBSTR is refused" \
  bash -c "[ $status = 1 ] && grep -q 'SUBSTR' '$work/installed-noudf.out'"
check "and the system's /etc, /usr, /var and MIME and desktop databases stayed as they were" [ "$(system_state)" = "$system_before" ]

lintian --display-info --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>/dev/null
cat "$work/lintian.log"
check "lintian finds no errors" bash -c "! grep -q '^E:' '$work/lintian.log'"
check "nor warnings" bash -c "! grep -q '^W:' '$work/lintian.log'"
[ "$sanitized" = ON ] || check "nor a missing hardening" bash -c "! grep -q '^.: conversor: hardening-' '$work/lintian.log'"
check "nor a section a stripped program need not keep" bash -c "! grep -q '^.: conversor: binary-has-unneeded-section' '$work/lintian.log'"
overrides="$work/unpacked/usr/share/lintian/overrides/conversor"
check "each lintian override the package has says why" \
  bash -c "[ ! -e '$overrides' ] || awk '/^[^#[:space:]]/ && prev !~ /^#/ { bad = 1 } { prev = \$0 } END { exit bad }' '$overrides'"
summary
