#!/usr/bin/env bash
# End-to-end tests of the Windows program under Wine, on a virtual X screen:
# Tavrolin.exe in a Wine desktop with a taskbar and tray, the stand-in game
# started as SupremeCommander.exe, the results read from outside (/proc, the
# files written, screenshots) and from the program's debug lines; the options
# dialog and the info window (options.sh) and the faults the program survives
# (hardening.sh).
#
#   tests/e2e/wine/run.sh BUILD_DIR   (build/win64; build/win32 for the 32-bit exe)
#
# Screenshots in BUILD_DIR/e2e-artifacts/run (tray-menu.png: the open menu;
# options-dialog.png, options-warning.png, info-window.png). Ends with "N
# passed, F failed, S skipped: NAMES"; the status is 1 when a check failed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
source "$here/hardening.sh"
e2e_screen "$0" "${1:?usage: run.sh BUILD_DIR}"
wine_begin "Wine end-to-end run" "$1"
one_processor || start_rows # side by side with everything else, each in a prefix of its own

# --- A fresh start, a second copy, the tray menu and Exit ---------------------
dir=$(new_dir fresh Idle.exe)
wine_desktop "$dir" # held by an idle program before and after ours
start_tavrolin "$dir" || fatal "Tavrolin.exe did not start"
wait_until 30 holds_default "$dir" && pass "a fresh start writes the default config.ini byte for byte" ||
  fail "config.ini differs from the default: $(od -c "$dir/config.ini" 2>&1 | head -n 5)"
find_tray_icon || fatal "no tray icon appeared"
pass "the tray icon shows at $icon_x,$icon_y"

before=$(stat -c '%y %s' "$dir/config.ini") # to the nanosecond
second_start=$(now_ms)
(cd "$dir" && timeout 30 wine Tavrolin.exe >>"$work/wine.log" 2>&1)
second_rc=$?
second_ms=$(($(now_ms) - second_start))
[[ $second_rc == 0 && $(wine_pid Tavrolin.exe) == "$program" ]] &&
  pass "a second Tavrolin.exe ends by itself (${second_ms} ms, status 0); the first runs on" ||
  fail "second copy: status $second_rc after ${second_ms} ms; Tavrolin.exe now pid $(wine_pid Tavrolin.exe), was $program"
[[ $(stat -c '%y %s' "$dir/config.ini") == "$before" && ! -e $dir/ErrorLog.txt ]] &&
  pass "the second copy changed no file" || fail "the second copy changed config.ini or wrote ErrorLog.txt"

open_tray_menu 1 || fatal "a left click on the icon opened no menu"
cp "$artifacts/menu-open.png" "$artifacts/tray-menu.png"
pass "a left click opens the menu ($menu_box)"
left_menu_h=$menu_h
click_menu_item close
wait_until 10 menu_gone && alive "$program" && pass "\"Close Menu\" closes the menu; the program runs on" ||
  fail "\"Close Menu\" left the menu open or ended the program"

# The debug lines show through Wine: the first poll found neither program.
wait_poll_after "$debug" 0 30 &&
  [[ $polled == "poll 1: GPG.Multiplayer.Client.exe not running; SupremeCommander.exe not running" ]] &&
  pass "the first poll's debug line: $polled" || fail "the first poll's debug line: ${polled:-none}: $(head -c 500 "$debug")"

open_tray_menu 3 || fatal "a right click on the icon opened no menu"
[[ $menu_h == "$left_menu_h" ]] && pass "a right click opens the same menu ($menu_box)" ||
  fail "the right-click menu ($menu_box) is not as high as the left-click one ($left_menu_h)"
click_menu_item exit
wait_until 10 not_alive "$program" && pass "\"    Exit\" ends the program" ||
  fatal "Tavrolin.exe still runs after \"    Exit\": it would keep the next copy out"
wait_until 10 icon_gone && pass "the tray icon is gone" || fail "the tray icon is still shown after exit"
[[ -e $dir/ErrorLog.txt ]] && fail "ErrorLog.txt appeared: $(cat "$dir/ErrorLog.txt")" ||
  pass "no ErrorLog.txt after a fresh start, a poll and Exit"

# --- The adjustment: processor 0 first, then all processors ------------------
if one_processor; then
  skip "the adjustment, the options dialog and the faults survived" "only one processor to run on: there is nothing to spread"
  e2e_summary
fi
dir=$(new_dir adjust SupremeCommander.exe)
write_config "$dir" InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=0
start_game "$dir" SupremeCommander.exe --threads 4 || fatal "the stand-in game did not start"
start_tavrolin "$dir" || fatal "Tavrolin.exe did not start"
if adjusted_to SupremeCommander.exe "$all_cpus"; then
  pass "every thread of the game goes to processor 0 ($((pinned_at - program_ms)) ms after the start), then to processors $all_cpus ($((final_at - pinned_at)) ms later)"
else
  fail "the game was not pinned to processor 0 and spread again: pinned_at=$pinned_at final_at=$final_at; watch: $(tr '\n' '|' <"${watch_of[SupremeCommander.exe]}")"
fi
# The next poll leaves it there.
handled_after=$(last_poll "$debug")
# Every look at the game's threads since the final step.
held() { awk -v t="$final_at" -v c="$all_cpus" '$1 >= t && !(NF == 3 && $3 == c) { bad = 1 } END { exit bad }' "$1"; }
wait_poll_saying "$debug" "$handled_after" 'SupremeCommander.exe running: handled already$' 30 &&
  held "${watch_of[SupremeCommander.exe]}" &&
  pass "the next poll finds the game handled and leaves it on processors $all_cpus" ||
  fail "after the final step: ${polled:-no poll}; watch: $(tr '\n' '|' <"${watch_of[SupremeCommander.exe]}")"
[[ -e $dir/ErrorLog.txt ]] && fail "the adjustment wrote ErrorLog.txt: $(cat "$dir/ErrorLog.txt")" ||
  pass "the adjustment wrote no ErrorLog.txt"
end_tavrolin
end_game SupremeCommander.exe

source "$here/options.sh"
taskbar_case
check_rows
e2e_summary
