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
# is due.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
e2e_screen "$0" "${1:?usage: exit_in_gap.sh BUILD_DIR}"
wine_begin "Wine: Exit between the phases" "$1"
if one_processor; then
  skip "the tray's Exit between the phases" "only one processor to run on: there is nothing to spread"
  e2e_summary
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
# The first poll comes 10 s after the start, the pin a second later: time
# enough to open the menu first.
write_config "$dir" InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=0
start_game "$dir" SupremeCommander.exe --threads 3 || fatal "the stand-in game did not start"
watch=${watch_of[SupremeCommander.exe]}
start_tavrolin "$dir" || fatal "Tavrolin.exe is not running"
find_tray_icon || fatal "no tray icon appeared"
open_tray_menu 1 || fatal "the tray menu did not open"
pinned_in "$watch" && fatal "the game was pinned before the menu was open: a slow start; nothing was tested"

if ! await_pin "$watch"; then
  fail "the game was never pinned with the menu open: watch log $(tr '\n' '|' <"$watch")"
else
  click_at=$(now_ms)
  click_menu_item exit
  wait_until 30 not_alive "$program" && pass "\"    Exit\" chosen with the game pinned ends the program ($(($(now_ms) - click_at)) ms)" ||
    fail "Tavrolin.exe still runs after \"    Exit\""
  # Once the program has ended nothing changes the game any more: the watch
  # has seen the final step by now, or it never came.
  if wait_adjustment "$watch" "$all_cpus" 1 && all_threads_on "${game_pid[SupremeCommander.exe]}" "$all_cpus" &&
    ((final_at >= click_at)); then
    pass "the final step ran at the exit ($((final_at - click_at)) ms after the click): the game ends on $all_cpus"
  elif [[ $final_at != - ]] && ((final_at < click_at)); then
    fail "the click came $((click_at - pinned_at)) ms after the pin, after the final step: the gap was not tested"
  else
    fail "the game was left on $(thread_cpus "${game_pid[SupremeCommander.exe]}") after the exit; watch log $(tr '\n' '|' <"$watch")"
  fi
  [[ -e $dir/ErrorLog.txt ]] && fail "ErrorLog.txt: $(cat "$dir/ErrorLog.txt")" || pass "no reports"
fi
end_game SupremeCommander.exe
e2e_summary
