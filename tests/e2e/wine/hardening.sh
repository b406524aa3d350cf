#!/usr/bin/env bash
# Faults the Windows program survives under Wine, and the bad-input rows whose
# behaviour comes from Windows' own profile functions. Part of run.sh, which
# starts the rows first (start_rows), and at its end runs the taskbar case and
# reads the rows (taskbar_case, check_rows); alone:
#
#   tests/e2e/wine/hardening.sh BUILD_DIR
#
# - The taskbar is created anew (the shell forgets the icon, then
#   "TaskbarCreated"): the icon comes back and its menu opens. Screenshots
#   tray-forgotten.png, tray-back.png, tray-back-menu.png.
# - The rows, side by side, each in a prefix of its own (one Tavrolin.exe runs
#   per prefix) with the stand-in games, and Wine's null display driver (their
#   tray icons stay off the screen the taskbar case looks at). What the
#   program read shows in its first poll's debug line: which game it watches,
#   and the delay it started.
#   - WMI cannot be used (its provider, wbemprox, disabled for the program):
#     the presence query falls back to the process list, the game is
#     adjusted, and the outage is reported once however many queries failed.
#   - ErrorLog.txt cannot be written (it is a directory) while a value must
#     be reported: the program runs on and adjusts the game.
#   - Settings files that Windows' profile functions read in their own way.

# row NAME CONFIG [OVERRIDES]: starts a row: CONFIG (printf's format) as
# config.ini, OVERRIDES added to WINEDLLOVERRIDES. Its folder is row_dir[N]
# and its config row_format[N], N counting from 1.
rows=()
declare -A row_dir row_format
row() {
  local dir
  rows+=("$1")
  dir=$(new_dir "row-${#rows[@]}" SupremeCommander.exe ForgedAlliance.exe)
  row_dir[${#rows[@]}]=$dir
  row_format[${#rows[@]}]=$2
  # shellcheck disable=SC2059 # the format is the file
  printf "$2" >"$dir/config.ini"
  new_prefix "$dir/prefix" "$build"
  prefix_setting "$dir/prefix" 'Software\Wine\Drivers' '"Graphics"="null"'
  (
    export WINEPREFIX=$dir/prefix
    cd "$dir" || exit
    wine SupremeCommander.exe --threads 3 >/dev/null 2>&1 &
    wine ForgedAlliance.exe --threads 3 >/dev/null 2>&1 &
    wait_until 60 wine_pid SupremeCommander.exe >/dev/null && wait_until 60 wine_pid ForgedAlliance.exe >/dev/null &&
      WINEDEBUG=-all,warn+debugstr WINEDLLOVERRIDES="$WINEDLLOVERRIDES${3:+;$3}" exec wine Tavrolin.exe >"$dir/debug.log" 2>&1
    echo "the games did not start" >"$dir/debug.log"
  ) &
  pids_to_kill+=("$!")
}
# row_polled N POLL: waits for row N's poll number POLL; sets polled, the
# first poll's line, and row_pid, its Tavrolin.exe.
row_polled() {
  local log=${row_dir[$1]}/debug.log
  wait_poll_after "$log" $(($2 - 1)) 60 && polled=$(poll_line "$log" 1)
  row_pid=$(WINEPREFIX=${row_dir[$1]}/prefix wine_pid Tavrolin.exe)
}
# row_end N: ends row N's program, then its prefix.
row_end() {
  [[ -n $row_pid ]] && end_wine "$row_pid" "Tavrolin.exe of row $1"
  WINEPREFIX=${row_dir[$1]}/prefix wineserver -k || fail "the prefix of row $1 had ended already"
}
delay_started() { echo "poll 1: GPG.Multiplayer.Client.exe not running; $1 running: delay of 1000 ms started"; }
# shellcheck disable=SC2059
row_config() { cmp -s <(printf "${row_format[$1]}") "${row_dir[$1]}/config.ini"; }

# start_rows: every row started, in the background.
start_rows() {
  # The faults. wbemprox is Wine's WMI provider: without it, binding "winmgmts:"
  # fails (E_ACCESSDENIED), and every presence query falls back to the process
  # list.
  row "WMI cannot be used (wbemprox disabled)" '[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nCPUs=All\r\nGame=0\r\n' wbemprox=
  row "ErrorLog.txt is a directory; OnlineEnabled=yes to report" '[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=yes\r\nCPUs=All\r\nGame=0\r\n'
  mkdir "${row_dir[2]}/ErrorLog.txt"
  # The profile rows. Each file asks for ForgedAlliance.exe (Game=1, unless the
  # row says otherwise) after a delay of 1 s. Read wrongly, the program would
  # watch SupremeCommander.exe (the default game) or start the default delay of
  # 30 s, or 60 s (a repeated key), or none at all (an empty delay).
  profile_rows=(3 4 5 6 7)
  profile_game=(ForgedAlliance.exe ForgedAlliance.exe ForgedAlliance.exe SupremeCommander.exe ForgedAlliance.exe)
  row "LF-only line ends" '[Config]\nInitializeDelay=1\nOnlineEnabled=1\nGame=1\n'
  row "UTF-8 byte-order mark" '\xef\xbb\xbf[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nGame=1\r\n'
  row "Keys repeated: the first wins" '[Config]\r\nInitializeDelay=1\r\nInitializeDelay=60\r\nOnlineEnabled=1\r\nGame=1\r\nGame=0\r\n'
  # 299 zeros and a 1: the profile function hands over the first 254 characters
  # (the program's buffer is 255 bytes), all zeros, so Game is 0.
  row "Game 300 characters (299 zeros, then 1): cut to 254" "[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nGame=$(printf '%0299d' 0)1\r\n"
  row "Quotes and blanks around values (' InitializeDelay = \"1\" ')" '[Config]\r\n InitializeDelay = "1" \r\nOnlineEnabled = 1\r\nGame =  "1"  \r\n'
}

# taskbar_case: with its own Tavrolin.exe in the desktop.
taskbar_case() {
  local dir first_icon forgotten=no back=no menu=no changed=- forgot_after
  echo "--- Faults survived, and bad input read by Windows' profile functions ---"
  dir=$(new_dir taskbar)
  cp "$build/taskbar_created.exe" "$dir/"
  default_config >"$dir/config.ini"
  start_tavrolin "$dir" || fatal "Tavrolin.exe did not start"
  find_tray_icon || fatal "no tray icon appeared"
  cp "$artifacts/tray-icon.png" "$artifacts/tray-before.png"
  first_icon="$icon_x,$icon_y"
  # A restarting shell first forgets every icon, and by itself the icon does not
  # come back: not at the next poll either (the second after, for the first may
  # have been under way).
  forgot_after=$(last_poll "$debug")
  if (cd "$dir" && wine taskbar_created.exe --forget Tavrolin.Form1 1 >>"$work/wine.log" 2>&1) &&
    wait_until 10 icon_gone tray-forgotten && wait_poll_after "$debug" $((forgot_after + 1)) 30 && icon_gone tray-still-gone; then
    forgotten=yes
  fi
  # Then the new taskbar tells every window.
  if (cd "$dir" && wine taskbar_created.exe >>"$work/wine.log" 2>&1) && find_tray_icon; then
    cp "$artifacts/tray-icon.png" "$artifacts/tray-back.png"
    pixels_changed "$artifacts/tray-before.png" "$artifacts/tray-back.png" "$taskbar" &&
      [[ "$icon_x,$icon_y" == "$first_icon" ]] && ((changed < 20)) && back=yes
    if open_tray_menu 3; then
      cp "$artifacts/menu-open.png" "$artifacts/tray-back-menu.png"
      click_menu_item close
      wait_until 10 menu_gone && menu=yes
    fi
  fi
  [[ $forgotten == yes && $back == yes && $menu == yes ]] &&
    pass "the taskbar created anew: the forgotten icon stays away past a poll until \"TaskbarCreated\", then is back at $first_icon ($changed pixels of the taskbar differ from before) and its menu opens and closes" ||
    fail "the taskbar created anew: forgotten=$forgotten back=$back (at $icon_x,$icon_y, was $first_icon; $changed pixels differ) menu=$menu; $(tail -n 3 "$work/wine.log")"
  [[ -e $dir/ErrorLog.txt ]] && fail "ErrorLog.txt appeared: $(tr -d '\r' <"$dir/ErrorLog.txt" | head -5)"
  end_tavrolin
}

# check_rows: each row's result, once it has polled.
check_rows() {
  local final_line wmi_log i n
  # WMI: two more polls of two queries each after the one that saw the game,
  # and the delay's end: five failed queries, one report.
  final_line="final: SupremeCommander\.exe \(PID [0-9]+\) on processors $all_cpus"
  wmi_log=${row_dir[1]}/ErrorLog.txt
  if row_polled 1 3 && [[ $polled == "$(delay_started SupremeCommander.exe)" ]] && debug_line "${row_dir[1]}/debug.log" "$final_line" &&
    [[ $(grep -c '^Error occurred in IsProcessRunning' "$wmi_log") == 1 && $(reports "${row_dir[1]}") == 1 ]] &&
    grep -q '^1004  ' "$wmi_log" && alive "$row_pid"; then
    pass "${rows[0]}: the process list answers, SupremeCommander.exe is adjusted; after 5 failed queries ErrorLog.txt holds one report, 1004; the program runs on"
  else
    fail "${rows[0]}: ${polled:-no poll}; $(tr -d '\r' <"$wmi_log" 2>&1 | head -n 8 | tr '\n' '|')"
  fi
  row_end 1
  if row_polled 2 1 && [[ $polled == "$(delay_started SupremeCommander.exe)" ]] &&
    wait_until 10 debug_line "${row_dir[2]}/debug.log" "$final_line" && alive "$row_pid" &&
    [[ -d ${row_dir[2]}/ErrorLog.txt && -z $(ls -A "${row_dir[2]}/ErrorLog.txt") ]] && row_config 2; then
    pass "${rows[1]}: the report is dropped; the program runs on and adjusts SupremeCommander.exe; config.ini unchanged"
  else
    fail "${rows[1]}: ${polled:-no poll}; $(tr -d '"' <"${row_dir[2]}/debug.log" | tail -n 3 | tr '\n' '|'); $(ls -ld "${row_dir[2]}/ErrorLog.txt")"
  fi
  row_end 2
  for i in "${!profile_rows[@]}"; do
    n=${profile_rows[$i]}
    if row_polled "$n" 1 && [[ $polled == "$(delay_started "${profile_game[$i]}")" ]] && alive "$row_pid" &&
      [[ $(reports "${row_dir[$n]}") == 0 ]] && row_config "$n"; then
      pass "${rows[$n - 1]}: ${profile_game[$i]} watched, a delay of 1 s; no report; config.ini unchanged"
    else
      fail "${rows[$n - 1]}: ${polled:-no poll}; $(reports "${row_dir[$n]}") reports; config.ini $(od -c "${row_dir[$n]}/config.ini" | head -n 2)"
    fi
    row_end "$n"
  done
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -u
  source "$(dirname "$0")/lib.sh"
  e2e_screen "$0" "${1:?usage: hardening.sh BUILD_DIR}"
  wine_begin "Faults survived under Wine" "$1"
  if one_processor; then
    skip "the faults survived and the profile rows" "only one processor to run on: there is nothing to spread"
    e2e_summary
  fi
  start_rows
  wine_desktop "$(new_dir desktop Idle.exe)"
  taskbar_case
  check_rows
  e2e_summary
fi
