#!/usr/bin/env bash
# Tavrolin.exe in a folder whose name the ANSI code page cannot hold: "Łódź
# 日本" (under LANG=C.UTF-8 Wine's ANSI code page is 1252, which has neither
# "Ł" nor "日"). The program must write its default config.ini there byte for
# byte, read a changed one (a short delay and the other game), write its log
# there, and adjust the game. Runs on a virtual X screen of its own with a
# fresh Wine prefix; ends with "N passed, F failed, S skipped: NAMES".
#
#   tests/e2e/wine/non_ansi_folder.sh BUILD_DIR     (e.g. build/win64)
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
export LANG=C.UTF-8 # how Wine reads the folder's name
e2e_screen "$0" "${1:?usage: non_ansi_folder.sh BUILD_DIR}"
e2e_setup "$1" keep
e2e_prefix

folder="Łódź 日本"
# The stand-in games and the program that holds the desktop live elsewhere:
# only Tavrolin.exe is on trial here.
games=$(new_dir games SupremeCommander.exe ForgedAlliance.exe Idle.exe)
start_in_desktop "$games" Idle.exe
wait_for 30 running Idle.exe || fatal "the Wine desktop did not start"

dir=$(new_dir "$folder")
start_in_desktop "$dir" Tavrolin.exe
wait_for 60 running Tavrolin.exe || fatal "Tavrolin.exe did not start in \"$folder\""
# (cmp's status 2 for a file not there yet would end wait_for at once.)
config_is_default() { [[ -s $dir/config.ini ]] && cmp -s <(default_config) "$dir/config.ini"; }
if wait_for 30 config_is_default; then
  pass "in \"$folder\": a fresh start writes the default config.ini byte for byte"
else
  fail "in \"$folder\": no default config.ini: $(ls -la "$dir" | tr '\n' '|') $(od -c "$dir/config.ini" 2>&1 | head -n 3)"
fi
stop Tavrolin.exe
[[ -e $dir/ErrorLog.txt ]] && fail "a fresh start wrote ErrorLog.txt: $(tr -d '\r' <"$dir/ErrorLog.txt")"

if one_processor; then
  skip "a changed config.ini read, the log written and the game adjusted in \"$folder\"" "only one processor to run on: there is nothing to spread"
  e2e_summary "Tavrolin.exe in a folder outside the ANSI code page"
  exit
fi

# A delay of 1 s and the other game; the online value cannot be used, so its
# report goes to ErrorLog.txt beside the program.
config='[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=yes\r\nCPUs=All\r\nGame=1\r\n'
printf "$config" >"$dir/config.ini"
start_game "$games" SupremeCommander.exe --threads 3 || fatal "the SupremeCommander.exe stand-in did not start"
start_game "$games" ForgedAlliance.exe --threads 3 || fatal "the ForgedAlliance.exe stand-in did not start"
all_cpus=$(thread_cpus "$(pid_of ForgedAlliance.exe)")
started_ms=$(now_ms)
start_in_desktop "$dir" Tavrolin.exe
# The first poll 10 s after the start sees the game, the pin follows 1 s
# later; the default delay would take 30 s more. 25 s tells them apart with
# room for a slow start.
if adjusted_to ForgedAlliance.exe "$all_cpus" "$started_ms"; then
  pinned_s=$(((pinned_at - started_ms) / 1000))
  if ((pinned_at - started_ms < 25000)) && always_on "${watch_of[SupremeCommander.exe]}" "$all_cpus"; then
    pass "a changed config.ini is read: ForgedAlliance.exe pinned ${pinned_s} s after the start (the delay of 1 s), then spread over $all_cpus; SupremeCommander.exe left alone"
  else
    fail "ForgedAlliance.exe pinned ${pinned_s} s after the start; SupremeCommander.exe: $(tr '\n' '|' <"${watch_of[SupremeCommander.exe]}")"
  fi
else
  fail "ForgedAlliance.exe was not adjusted: pinned_at=$pinned_at final_at=$final_at; SupremeCommander.exe: $(tr '\n' '|' <"${watch_of[SupremeCommander.exe]}")"
fi
log_says() {
  tr -d '\r' 2>/dev/null <"$dir/ErrorLog.txt" | grep -A5 '^Error occurred in Form_Load$' | paste -sd '|'
}
report="Error occurred in Form_Load|13  Type mismatch|DLL Error - 0|Variables:Key =OnlineEnabled|Variables:Value =yes"
if wait_for 10 eval '[[ $(log_says) == "$report" ]]'; then
  pass "ErrorLog.txt is written in \"$folder\": $report"
else
  fail "ErrorLog.txt in \"$folder\": '$(log_says)'"
fi
cmp -s <(printf "$config") "$dir/config.ini" && pass "config.ini is left as it was" || fail "config.ini changed: $(od -c "$dir/config.ini" | head -n 3)"
stop Tavrolin.exe
stop SupremeCommander.exe
stop ForgedAlliance.exe
e2e_summary "Tavrolin.exe in a folder outside the ANSI code page"
