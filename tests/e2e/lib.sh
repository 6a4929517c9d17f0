# Shared by the shell tests: a temporary folder of their own, result lines, isql, and databases.
work=$(mktemp -d /tmp/conversor-test-XXXXXX)
chmod 755 "$work"
pids=()
cleanups=()
# stop PID...: asks the processes to end and, after five seconds, ends the ones that did not
# (the Firebird server does not always end on SIGTERM).
stop() {
  [ $# -gt 0 ] || return 0
  kill "$@" 2>/dev/null
  for _ in $(seq 50); do
    local p alive=0
    for p in "$@"; do kill -0 "$p" 2>/dev/null && alive=1; done
    [ $alive -eq 1 ] || break
    sleep 0.1
  done
  kill -9 "$@" 2>/dev/null
  wait "$@" 2>/dev/null
}
finish() {
  # The test's processes first, then its cleanups last in, first out: a server stops before
  # the account it runs as goes.
  stop "${pids[@]}"
  local i
  for ((i = ${#cleanups[@]} - 1; i >= 0; i--)); do eval "${cleanups[i]}"; done
  rm -rf "$work"
}
trap finish EXIT

passed=0 failed=0
check() { # check NAME COMMAND...: runs COMMAND and counts the result
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "PASS: $name"; else failed=$((failed + 1)); echo "FAIL: $name"; fi
}
summary() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

# another_user: a user of the test's own in $user, removed again at the end with the lock folder
# the tool makes for them; and in $convert the program as that user can run it (from a
# checkout in a folder closed to other users: a copy with its engine settings, as an installed
# tool would be).
another_user() {
  user=conversor-teste
  if ! id -u "$user" >/dev/null 2>&1; then
    useradd --system --no-create-home --shell /usr/sbin/nologin "$user" || return 1
    cleanups+=("userdel $user")
    local lock
    lock=/tmp/conversor-firebird-$(id -u "$user")
    [ -e "$lock" ] || cleanups+=("rm -rf $lock")
  fi
  convert="$build/conversor"
  if ! runuser -u "$user" -- test -x "$convert"; then
    mkdir -p "$work/bin" && cp -a "$build/conversor" "$build/firebird" "$work/bin/"
    convert="$work/bin/conversor"
  fi
}

# system_user NAME [USERADD OPTIONS...]: a system user (and its group) of the test's own, removed
# again at the end with the lock folder the tool makes for them. Fails when NAME exists: a test
# never takes over an account it did not make.
system_user() {
  local name=$1; shift
  if id -u "$name" >/dev/null 2>&1; then
    echo "system_user: $name exists already" >&2
    return 1
  fi
  useradd --system --user-group --no-create-home --shell /usr/sbin/nologin "$@" "$name" || return 1
  cleanups+=("userdel $name; ! getent group $name >/dev/null || groupdel $name")
  cleanups+=("rm -rf /tmp/conversor-firebird-$(id -u "$name")")
}

# private_server [ACCOUNT]: a Firebird server of the test's own (tests/support/private-server)
# in $work/servidor, as ACCOUNT when given, stopped at the end. FIREBIRD (exported) names its
# settings, so that "localhost:" reaches it, for the tool and for Firebird's programs alike;
# $password is its administrator's, $fbintl the character-set module to preload.
private_server() {
  server_dir="$work/servidor"
  mkdir -p "$server_dir"
  port=$("$source/tests/support/private-server" start "$build" "$server_dir" "$@") || return 1
  cleanups+=("'$source/tests/support/private-server' stop '$server_dir'")
  export FIREBIRD="$server_dir/firebird"
  fbintl=$(readlink -f "$FIREBIRD/intl/libfbintl.so")
  password=quokkafen
}
# attachments: how many attachments the private server has to its databases (the tool's own
# inquiry through the service manager is not one).
attachments() {
  fbsvcmgr localhost:service_mgr -user SYSDBA -password "$password" info_svr_db_info \
    | awk -F: '/Number of attachments/ { gsub(/ /, "", $2); print $2 }'
}
# server_let_go: waits (up to a minute) until the server has no attachment left: after a
# client is killed, the server ends the statement it was running and undoes its work first.
server_let_go() {
  for _ in $(seq 600); do [ "$(attachments)" = 0 ] && return 0; sleep 0.1; done
  return 1
}

# isql DATABASE SQL [PASSWORD]: the administrator's look, past the door a run closes (its trigger on
# connect), as the tool itself gets in
isql() { isql-fb -q -nodbtriggers -user SYSDBA -password "${3:-x}" "$1" <<<"$2"; }
# value DATABASE SQL: the single value a query prints
value() { isql "$1" "set heading off; $2" | awk 'NF { print $1 }'; }

# big_db FILE TABLES ROWS [SQL]: a dialect 1 database with the shops' SUBSTR and TABLES tables
# T01, T02, ... (ID INTEGER, CODPROD VARCHAR(10)) of ROWS rows each, every code '1234567';
# SQL runs last.
big_db() {
  local file=$1 tables=$2 rows=$3 extra=${4:-}
  {
    printf "SET SQL DIALECT 1;\nSET BAIL ON;\nCREATE DATABASE '%s' USER 'SYSDBA' PASSWORD 'x';\n" "$file"
    cat "$source/tests/fixtures/substr.sql"
    for i in $(seq "$tables"); do printf "CREATE TABLE T%02d (ID INTEGER, CODPROD VARCHAR(10));\n" "$i"; done
    printf "COMMIT;\nSET TERM ^ ;\n"
    for i in $(seq "$tables"); do
      printf "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < %d) DO BEGIN INSERT INTO T%02d VALUES (:I, '1234567'); I = I + 1; END END^\n" "$rows" "$i"
    done
    printf "SET TERM ; ^\nCOMMIT;\n%s\n" "$extra"
  } | isql-fb -q
}

# ---- the desktop: Xvfb with openbox, the real program driven by xdotool
start_desktop() {
  export DISPLAY=:$((RANDOM % 500 + 500)) QT_QPA_PLATFORM=xcb
  # Qt's file dialog keeps its state in the user's settings: the test's own, gone with it.
  export XDG_CONFIG_HOME="$work/config"
  mkdir -p "$XDG_CONFIG_HOME"
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  openbox >/dev/null 2>&1 & pids+=($!)
  sleep 1
}
wait_for() { xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n1; }
gone() { for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done; return 1; }
visible() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }

# start_tool [ARGS]: starts the program; its process in $app, its window (active) in $win.
start_tool() {
  "$build/conversor" "$@" >"$work/app.out" 2>"$work/app.err" & app=$!
  pids+=($app)
  win=$(timeout 20 bash -c "$(declare -f wait_for); wait_for '^Conversor de dados - Malhavera -\$'")
  [ -n "$win" ] || return 1
  xdotool windowactivate --sync "$win" 2>/dev/null
  sleep 0.5
}

# choose_file FILE: from the path field, Tab to Open, Enter, and the name typed into the dialog.
choose_file() {
  xdotool key Tab Return
  [ -n "$(timeout 20 bash -c "$(declare -f wait_for); wait_for '^(Open|Abrir)\$'")" ] || return 1
  sleep 0.5
  xdotool type --delay 20 "$1"
  sleep 0.3
  xdotool key Return
  sleep 0.5
  if visible '^(Open|Abrir)$'; then
    xdotool key Return # the first one only closed a completion list
    sleep 0.5
  fi
}

# wait_box [SECONDS]: the caption of the box that comes up, in $box ("" when none did).
wait_box() {
  box=""
  for _ in $(seq $((${1:-20} * 10))); do
    if visible '^Information$'; then box=Information; return 0; fi
    if visible '^Error$'; then box=Error; return 0; fi
    sleep 0.1
  done
  return 1
}
