# Shared by the shell tests: temporary folder, result lines, and isql.
work=$(mktemp -d /tmp/conversor-test-XXXXXX)
chmod 755 "$work"
pids=()
cleanups=()
finish() {
  for c in "${cleanups[@]}"; do eval "$c"; done
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
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

# isql DATABASE SQL [PASSWORD]
isql() { isql-fb -q -user SYSDBA -password "${3:-x}" "$1" <<<"$2"; }
