#!/usr/bin/env bash
# Tavrolin.exe in a folder whose name the ANSI code page cannot hold: "Łódź
# 日本" (under LANG=C.UTF-8 Wine's ANSI code page is 1252, which has neither
# "Ł" nor "日"). The program must write its default config.ini there byte for
# byte, read a changed one (a short delay and the other game), write its log
# there, and adjust the game.
#
#   tests/e2e/wine/non_ansi_folder.sh BUILD_DIR     (e.g. build/win64)
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
export LANG=C.UTF-8 # how Wine reads the folder's name
e2e_screen "$0" "${1:?usage: non_ansi_folder.sh BUILD_DIR}"
wine_begin "Tavrolin.exe in a folder outside the ANSI code page" "$1"

folder="Łódź 日本"
# The stand-in games and the program that holds the desktop live elsewhere:
# only Tavrolin.exe is on trial here.
games=$(new_dir games SupremeCommander.exe ForgedAlliance.exe Idle.exe)
wine_desktop "$games"
dir=$(new_dir "$folder")
start_tavrolin "$dir" || fatal "Tavrolin.exe did not start in \"$folder\""
wait_until 30 holds_default "$dir" && pass "in \"$folder\": a fresh start writes the default config.ini byte for byte" ||
  fail "in \"$folder\": no default config.ini: $(ls -la "$dir" | tr '\n' '|') $(od -c "$dir/config.ini" 2>&1 | head -n 3)"
end_tavrolin
[[ -e $dir/ErrorLog.txt ]] && fail "a fresh start wrote ErrorLog.txt: $(tr -d '\r' <"$dir/ErrorLog.txt")"

if one_processor; then
  skip "a changed config.ini read, the log written and the game adjusted in \"$folder\"" "only one processor to run on: there is nothing to spread"
  e2e_summary
fi
# A delay of 1 s and the other game; the online value cannot be used, so its
# report goes to ErrorLog.txt beside the program.
write_config "$dir" InitializeDelay=1 OnlineEnabled=yes CPUs=All Game=1
cp "$dir/config.ini" "$work/config-before.ini"
start_game "$games" SupremeCommander.exe --threads 3 || fatal "the SupremeCommander.exe stand-in did not start"
start_game "$games" ForgedAlliance.exe --threads 3 || fatal "the ForgedAlliance.exe stand-in did not start"
start_tavrolin "$dir" || fatal "Tavrolin.exe did not start in \"$folder\" again"
if adjusted_to ForgedAlliance.exe "$all_cpus" && [[ $(poll_line "$debug" 1) == *"ForgedAlliance.exe running: delay of 1000 ms started" ]] &&
  always_on "${watch_of[SupremeCommander.exe]}" "$all_cpus"; then
  pass "a changed config.ini is read: ForgedAlliance.exe watched with a delay of 1 s, pinned and spread over $all_cpus; SupremeCommander.exe left alone"
else
  fail "the changed config.ini: poll 1 '$(poll_line "$debug" 1)'; ForgedAlliance.exe pinned_at=$pinned_at final_at=$final_at; SupremeCommander.exe: $(tr '\n' '|' <"${watch_of[SupremeCommander.exe]}")"
fi
log_says() { tr -d '\r' 2>/dev/null <"$dir/ErrorLog.txt" | grep -A5 '^Error occurred in Form_Load$' | paste -sd '|'; }
report="Error occurred in Form_Load|13  Type mismatch|DLL Error - 0|Variables:Key =OnlineEnabled|Variables:Value =yes"
reported() { [[ $(log_says) == "$report" ]]; }
wait_until 10 reported && pass "ErrorLog.txt is written in \"$folder\": $report" || fail "ErrorLog.txt in \"$folder\": '$(log_says)'"
cmp -s "$work/config-before.ini" "$dir/config.ini" && pass "config.ini is left as it was" ||
  fail "config.ini changed: $(od -c "$dir/config.ini" | head -n 3)"
end_tavrolin
end_game SupremeCommander.exe
end_game ForgedAlliance.exe
e2e_summary
