#!/usr/bin/env bash
# The tool used as a person would: the real program under Xvfb with openbox, driven by real
# keyboard events from xdotool. end_to_end.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)

. "$source/tests/e2e/lib.sh"
start_desktop

codes() { # one line per value, "TABLE:CODE", sorted, with the trigger states
  isql "$1" "set heading off; select 'P:' || coalesce(trim(CODPROD), 'null') from PRODUTOS union all select 'E:' || coalesce(trim(CODPROD), 'null') from ESTOQUE union all select 'V:' || coalesce(trim(CODPROD), 'null') from VENDAS union all select 'H:' || coalesce(trim(CODPROD), 'null') from HISTORICO_DE_PRECOS_POR_PRODUTO; select 'T:' || trim(RDB\$TRIGGER_NAME) || '=' || RDB\$TRIGGER_INACTIVE from RDB\$TRIGGERS where RDB\$SYSTEM_FLAG = 0;" | awk 'NF { print $1 }' | sort
}
# Starts the tool, opens FILE through the Open command and runs Convert, all from the keyboard;
# leaves the final box's caption in $box and the window in $win.
convert_with_keys() {
  start_tool && choose_file "$1" || return 1
  xdotool key Tab Return # Convert
  wait_box
}

status_reads() { # status_reads TEXT: the status line on screen is exactly TEXT as the program draws it
  local rect
  rect=$("$build/render_status" "$1" "$work/expected.png") || return 1
  import -window "$win" -crop "$rect" +repage "$work/actual.png" 2>/dev/null || return 1
  [ "$(compare -metric AE "$work/expected.png" "$work/actual.png" null: 2>&1)" = "0" ]
}

# ---- a run that succeeds
good="$work/loja.fb"
"$source/tools/make-sample-db" "$good" >/dev/null
before=$(codes "$good")
convert_with_keys "$good"
check "the path chosen in the dialog reached the run and it ended in the Information box" [ "$box" = Information ]
xdotool key Return                            # OK
sleep 0.5
check "the box closed on Enter" bash -c "$(declare -f visible); ! visible '^Information\$'"
# After OK the status line keeps where the copy and the list went.
check "the status line reads Concluído! and the folder of the copy and the list" \
  status_reads "Concluído! Cópia e lista em $(dirname "$(realpath "$good")")"
xdotool key alt+F4
check "Alt+F4 ends the program" gone "$app"
# The codes, read once the tool is closed (a run lets the file go at its end anyway).
expected=$(echo "$before" | sed -E 's/:12345678$/:203456/; s/:13456789$/:304567/; s/:20000012$/:000000/' | sort)
check "every code was rewritten once, the triggers as they were" [ "$(codes "$good")" = "$expected" ]

# ---- a file named on the command line: in the path field, ready to convert
named="$work/nomeado.fb"
"$source/tools/make-sample-db" "$named" >/dev/null
before=$(codes "$named")
start_tool "$named"
check "the window's class is the one its desktop entry names" \
  bash -c "xprop -id $win WM_CLASS | grep -q '\"$(sed -n 's/^StartupWMClass=//p' "$build/packaging/br.com.malhavera.conversor.desktop")\"\$'"
xdotool key Tab Tab Return # Open, Convert, Enter
wait_box
check "Convert on the named file ends in the Information box" [ "$box" = Information ]
xdotool key Return
sleep 0.5
kill -TERM "$app"
check "the tool ends" gone "$app"
check "the named file was converted" [ "$(codes "$named")" = "$(echo "$before" | sed -E 's/:12345678$/:203456/; s/:13456789$/:304567/; s/:20000012$/:000000/' | sort)" ]

# ---- a run the database refuses: a check constraint the rewritten codes would break
bad="$work/falha.fb"
"$source/tools/make-sample-db" "$bad" >/dev/null
isql "$bad" "ALTER TABLE HISTORICO_DE_PRECOS_POR_PRODUTO ADD CONSTRAINT NAO_CONVERTE CHECK (CODPROD STARTING WITH '1' OR CODPROD STARTING WITH '2'); COMMIT;" >/dev/null
before=$(codes "$bad")
convert_with_keys "$bad"
check "a failing run ends in the Error box" [ "$box" = Error ]
xdotool key Escape
sleep 0.5
check "the status line says nothing was changed" status_reads "Nada foi alterado."
xdotool key alt+F4
check "the window closes after a failed run" gone "$app"
check "nothing changed in the database" [ "$(codes "$bad")" = "$before" ]
# ---- input other than closing does nothing during a run: a click on Open and a Tab change
# nothing until the box (closing during a run: live_window.sh)
slow="$work/grande.fb"
big_db "$slow" 12 50000 >/dev/null
start_tool
choose_file "$slow"
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool key Tab Return                        # Convert: the run starts
sleep 0.3
xdotool mousemove $((X + 512 + 16)) $((Y + 111 + 16)) click 1   # Open, during the run
xdotool key Tab
wait_box 30
check "a click on Open during the run opened no dialog: the run ended in its box" [ "$box" = Information ]
check "and no dialog came after it" bash -c "$(declare -f visible); ! visible '^(Open|Abrir)\$'"
xdotool key Return
sleep 0.5
check "the window is still open after the run" kill -0 "$app"
xdotool key alt+F4
check "and closes afterwards" gone "$app"
check "the whole database was converted" [ "$(value "$slow" "select count(*) from T12 where CODPROD = '203456';")" = 50000 ]
summary
