#!/usr/bin/env bash
# The tray's "    Exit" chosen between the two phases of an adjustment, under
# Wine: the program must run the final step before it ends, so that the game
# is not left on processor 0.
#
#   tests/e2e/wine/exit_in_gap.sh BUILD_DIR     (e.g. build/win64)
#
# The menu is opened before the game is pinned (it stays open, and the
# program's timers go on running under it); the moment the game's threads are
# all on processor 0, "    Exit" is clicked, a second before the final step
# is due. Takes about a minute, most of it the fresh Wine prefix.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
e2e_screen "$0" "${1:?usage: exit_in_gap.sh BUILD_DIR}"
e2e_setup "$1" keep
e2e_prefix

if one_processor; then
  skip "the tray's Exit between the phases" "only one processor to run on: there is nothing to spread"
  e2e_summary "Wine: Exit between the phases"
  exit
fi

# pinned_in LOG: the watch log's last state is every thread on processor 0.
# Shell builtins only: the gap is a second long.
pinned_in() {
  local text=''
  read -r -d '' text <"$1"
  [[ $text =~ (^|$'\n')[0-9]+\ [0-9]+\ 0$ ]]
}
await_pin() {
  local log=$1 deadline=$(($(now_ms) + 60000)) tick
  mkfifo "$work/pin.tick" && exec {tick}<>"$work/pin.tick"
  until pinned_in "$log"; do
    (($(now_ms) > deadline)) && return 1
    read -r -t 0.01 -u "$tick"
  done
  return 0
}

dir=$(new_dir gap SupremeCommander.exe)
# The first poll 10 s after the start, then 4 s: time to open the menu first.
printf '[Config]\r\nInitializeDelay=4\r\nOnlineEnabled=1\r\nCPUs=All\r\nGame=0\r\n' >"$dir/config.ini"
start_game "$dir" SupremeCommander.exe --threads 3 || fatal "the stand-in game did not start"
game=$(pid_of SupremeCommander.exe)
all_cpus=$(thread_cpus "$game")
watch=${watch_of[SupremeCommander.exe]}

start_in_desktop "$dir" Tavrolin.exe
wait_for 60 running Tavrolin.exe || fatal "Tavrolin.exe is not running"
find_tray_icon || fatal "no tray icon appeared"
pinned_in "$watch" && fatal "the game was pinned before the menu could be opened: a slow start; nothing was tested"
open_tray_menu 1 || fatal "the tray menu did not open"

if ! await_pin "$watch"; then
  fail "the game was never pinned with the menu open: watch log $(tr '\n' '|' <"$watch")"
else
  click_at=$(now_ms)
  click_menu_item exit
  if wait_for 30 not_running Tavrolin.exe; then
    pass "\"    Exit\" chosen with the game pinned ends the program ($(($(now_ms) - click_at)) ms)"
  else
    fail "Tavrolin.exe still runs after \"    Exit\""
  fi
  sleep 1.5 # nothing may change any more
  read -r pinned_at final_at _ < <(adjustment_in "$watch" "$all_cpus")
  if [[ $final_at != - ]] && all_threads_on "$game" "$all_cpus" && ((final_at >= click_at)); then
    pass "the final step ran at the exit ($((final_at - click_at)) ms after the click): the game ends on $all_cpus"
  elif [[ $final_at != - ]] && ((final_at < click_at)); then
    fail "the click came $((click_at - pinned_at)) ms after the pin, after the final step: the gap was not tested"
  else
    fail "the game was left on $(thread_cpus "$game" | tr '\n' ' ')after the exit; watch log $(tr '\n' '|' <"$watch")"
  fi
  [[ -e $dir/ErrorLog.txt ]] && fail "ErrorLog.txt: $(cat "$dir/ErrorLog.txt")" || pass "no reports"
fi
stop SupremeCommander.exe
e2e_summary "Wine: Exit between the phases"
