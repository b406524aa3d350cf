#!/usr/bin/env bash
# End-to-end tests of the Windows program under Wine, on a virtual X screen:
# a fresh Wine prefix, Tavrolin.exe in a Wine desktop with a taskbar and tray,
# the stand-in game started as SupremeCommander.exe, and the results read
# from outside (/proc, the files written, screenshots).
#
#   tests/e2e/wine/run.sh BUILD_DIR     (e.g. build/win64)
#
# Screenshots stay in BUILD_DIR/e2e-artifacts (tray-menu.png shows the open
# menu; options.sh adds the dialog's and the info window's). Ends with "N
# passed, F failed, S skipped: NAMES" and exits non-zero when a check failed.
# Takes about five minutes.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
e2e_screen "$0" "${1:?usage: run.sh BUILD_DIR}"
e2e_setup "$1"
e2e_prefix

# --- Fresh start, a second copy, the tray menu and exit ----------------------
dir=$(new_dir fresh Idle.exe)
# An idle program holds the desktop before and after ours.
start_in_desktop "$dir" Idle.exe
wait_for 30 running Idle.exe || fatal "the Wine desktop did not start"
sleep 2
shot desktop-before

start_in_desktop "$dir" Tavrolin.exe
wait_for 30 test -s "$dir/config.ini" || fatal "Tavrolin.exe wrote no config.ini"
wait_for 60 running Tavrolin.exe || fatal "Tavrolin.exe is not running"
config_is_default() { cmp -s <(default_config) "$dir/config.ini"; }
if wait_for 5 config_is_default; then
  pass "a fresh start writes the default config.ini byte for byte ($(stat -c %s "$dir/config.ini") bytes)"
else
  fail "config.ini differs from the default: $(od -c "$dir/config.ini" | head -n 5)"
fi
sleep 1 # a report would have followed at once
[[ -e $dir/ErrorLog.txt ]] && fail "a fresh start wrote ErrorLog.txt" || pass "no ErrorLog.txt after a fresh start"

find_tray_icon || fatal "no tray icon appeared"
pass "the tray icon shows at $icon_x,$icon_y"

before=$(stat -c '%Y %s' "$dir/config.ini")
second_start=$(date +%s%N)
(cd "$dir" && timeout 30 wine Tavrolin.exe >>"$work/wine.log" 2>&1)
second_rc=$?
second_ms=$((($(date +%s%N) - second_start) / 1000000))
if [[ $second_rc == 0 && $(pgrep -fc '^Tavrolin.exe') == 1 ]]; then
  pass "a second Tavrolin.exe ends by itself (${second_ms} ms, status 0); the first runs on"
else
  fail "second copy: status $second_rc after ${second_ms} ms, $(pgrep -fc '^Tavrolin.exe') copies running"
fi
[[ $(stat -c '%Y %s' "$dir/config.ini") == "$before" && ! -e $dir/ErrorLog.txt ]] &&
  pass "the second copy changed no file" || fail "the second copy changed config.ini or wrote ErrorLog.txt"

# Left click: the menu opens at the pointer.
open_tray_menu 1 || fatal "a left click on the icon opened no menu"
cp "$artifacts/menu-open.png" "$artifacts/tray-menu.png"
pass "a left click opens the menu ($menu_box), kept as e2e-artifacts/tray-menu.png"

# "Close Menu", the first item, closes it and changes nothing.
menu_h1=$menu_h
click_menu_item close
wait_for 10 menu_gone && running Tavrolin.exe && pass "\"Close Menu\" closes the menu; the program runs on" ||
  fail "\"Close Menu\" left the menu open or ended the program"

# Right click opens the same menu; "    Exit" is its last item.
open_tray_menu 3 || fatal "a right click on the icon opened no menu"
cp "$artifacts/menu-open.png" "$artifacts/tray-menu-right.png"
[[ $menu_h == "$menu_h1" ]] && pass "a right click opens the same menu ($menu_box)" ||
  fail "the right-click menu ($menu_box) is not as high as the left-click one ($menu_h1)"
click_menu_item exit
wait_for 10 not_running Tavrolin.exe && pass "\"    Exit\" ends the program" || fail "Tavrolin.exe still runs after \"    Exit\""
wait_for 10 icon_gone && pass "the tray icon is gone" || fail "the tray icon is still shown after exit"
[[ -e $dir/ErrorLog.txt ]] && fail "ErrorLog.txt appeared: $(cat "$dir/ErrorLog.txt")" || pass "still no ErrorLog.txt"

# --- The adjustment: processor 0 first, then all processors ------------------
stop Tavrolin.exe # left over from a failed exit: it would keep the next copy out
if one_processor; then
  for name in "the adjustment" "the options dialog and the info window" "faults survived and the profile rows"; do
    skip "$name" "only one processor to run on: there is nothing to spread"
  done
  e2e_summary "Wine end-to-end run"
  exit
fi
dir=$(new_dir adjust SupremeCommander.exe)
printf '[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nCPUs=All\r\nGame=0\r\n' >"$dir/config.ini"
start_game "$dir" SupremeCommander.exe --threads 4 || fatal "the stand-in game did not start"
game=$(pid_of SupremeCommander.exe)
all_cpus=$(thread_cpus "$game")
threads=$(ls /proc/"$game"/task | wc -l)
echo "stand-in game: pid $game, $threads threads, on processors $all_cpus"

adjust_start=$(now_ms)
start_in_desktop "$dir" Tavrolin.exe
# The poll sees the game within 10 s, the delay adds 1 s.
if adjusted_to SupremeCommander.exe "$all_cpus"; then
  pass "every thread of the game goes to processor 0 ($((pinned_at - adjust_start)) ms after the start)"
  pass "then every thread goes to processors $all_cpus ($((final_at - pinned_at)) ms later)"
else
  fail "the game was not pinned to processor 0 and spread again: pinned_at=$pinned_at final_at=$final_at, now on $(thread_cpus "$game" | tr '\n' ' ')"
fi
sleep 1
all_threads_on "$game" "$all_cpus" && pass "and stays there" || fail "the final mask did not hold"
[[ -e $dir/ErrorLog.txt ]] && fail "the adjustment wrote ErrorLog.txt: $(cat "$dir/ErrorLog.txt")" ||
  pass "the adjustment wrote no ErrorLog.txt"

source "$here/options.sh"
source "$here/hardening.sh"

e2e_summary "Wine end-to-end run"
