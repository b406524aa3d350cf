#!/usr/bin/env bash
# Faults the Windows program survives under Wine, and the bad-input rows whose
# behaviour comes from Windows' own profile functions. Everything is read from
# outside: the games' processors in /proc, the files the program leaves,
# screenshots. Run by run.sh; alone:
#
#   tests/e2e/wine/hardening.sh BUILD_DIR
#
# - WMI cannot be used (its provider, wbemprox, disabled for the program):
#   the presence query falls back to the process list, the game is adjusted,
#   and the outage is reported once however many queries failed.
# - The taskbar is created anew (the shell forgets the icon, then
#   "TaskbarCreated"): the icon comes back and its menu opens.
# - ErrorLog.txt cannot be written (it is a directory) while a value must be
#   reported: the program runs on and adjusts the game.
# - Settings files that Windows' profile functions read in their own way:
#   each row shows which game the program adjusted and how soon, so which
#   values it used. Printed as a Markdown table.
#
# Screenshots: tray-forgotten.png, tray-back.png, tray-back-menu.png in
# BUILD_DIR/e2e-artifacts.

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -u
  here=$(cd "$(dirname "$0")" && pwd)
  source "$here/lib.sh"
  e2e_screen "$0" "${1:?usage: hardening.sh BUILD_DIR}"
  e2e_setup "$1" keep
  e2e_prefix
  hardening_alone=1
else
  hardening_alone=0
fi

echo "--- Faults survived, and bad input read by Windows' profile functions ---"
if one_processor; then # run.sh skips this file before it comes here
  skip "faults survived and the profile rows" "only one processor to run on: there is nothing to spread"
  e2e_summary "Wine hardening run"
  exit
fi

# Only our copies may run: another Tavrolin.exe would keep ours out, and only
# our stand-ins may be the games.
stop Tavrolin.exe
stop SupremeCommander.exe
stop ForgedAlliance.exe
games=$(new_dir hardening-games SupremeCommander.exe ForgedAlliance.exe Idle.exe)
cp "$build/taskbar_created.exe" "$games/"
if ! running Idle.exe; then
  start_in_desktop "$games" Idle.exe # holds the desktop
  wait_for 30 running Idle.exe || fatal "the Wine desktop did not start"
  sleep 2
fi
start_game "$games" SupremeCommander.exe --threads 3 || fatal "the SupremeCommander.exe stand-in did not start"
start_game "$games" ForgedAlliance.exe --threads 3 || fatal "the ForgedAlliance.exe stand-in did not start"
sc_pid=$(pid_of SupremeCommander.exe)
fa_pid=$(pid_of ForgedAlliance.exe)
all_cpus=$(thread_cpus "$sc_pid")

faults=()
# fault CASE RESULT OBSERVED: one line of the faults table, and its PASS/FAIL.
fault() {
  faults+=("| $1 | $2 | $3 |")
  [[ $2 == pass ]] && pass "$1: $3" || fail "$1: $3"
}

# start_tavrolin DIR [OVERRIDES]: starts the program of DIR in the desktop,
# with OVERRIDES added to WINEDLLOVERRIDES, and waits for it; sets
# started_ms, when its process appeared.
start_tavrolin() {
  local dir=$1 overrides=${2:+;$2}
  (cd "$dir" && WINEDLLOVERRIDES="$WINEDLLOVERRIDES$overrides" \
    exec wine explorer /desktop="$desktop" Tavrolin.exe >>"$work/wine.log" 2>&1) &
  wait_for 60 running Tavrolin.exe || return 1
  started_ms=$(($(date +%s%N) / 1000000))
}

# watch_adjustment SECONDS: waits for a game to be pinned to processor 0 (the
# games' watch logs, since the program's start) and then spread over all
# processors again. Sets adjusted (the game's name or "none"), pinned_at,
# pinned_ms and pinned_s (from the program's start to the pin, in ms and in
# seconds with one decimal) and spread (yes/no).
pinned_game() {
  local final
  for adjusted in SupremeCommander.exe ForgedAlliance.exe; do
    read -r pinned_at final _ < <(adjustment_in "${watch_of[$adjusted]}" "$all_cpus" "$started_ms")
    [[ $pinned_at != - ]] && return 0
  done
  adjusted=none
  return 1
}
watch_adjustment() {
  adjusted=none pinned_ms=0 pinned_s=- spread=no
  wait_for "$1" pinned_game || return 0
  pinned_ms=$((pinned_at - started_ms))
  pinned_s="$((pinned_ms / 1000)).$((pinned_ms % 1000 / 100))"
  wait_adjustment "${watch_of[$adjusted]}" "$all_cpus" 10 "$started_ms" && spread=yes
}

# A short delay read: the first poll 10 s after the start, the delay of 1 s,
# and the program's own start-up, slow on a loaded machine. The values a
# wrong reading would give pin much later (the default delay of 30 s, the
# repeated key's 60 s) or never (an empty delay): up to 25 s tells them apart.
short_delay_limit=25
short_delay_pin() { ((pinned_ms < short_delay_limit * 1000)); }

reports_in() { [[ -f $1/ErrorLog.txt ]] && grep -c '^Error occurred in' "$1/ErrorLog.txt" || echo 0; }

# --- WMI cannot be used -------------------------------------------------------
# wbemprox is Wine's WMI provider: without it, binding "winmgmts:" fails
# (E_ACCESSDENIED), and every presence query falls back to the process list.
dir=$(new_dir no-wmi)
printf '[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nCPUs=All\r\nGame=0\r\n' >"$dir/config.ini"
start_tavrolin "$dir" wbemprox= || fatal "Tavrolin.exe without WMI did not start"
watch_adjustment 60
# Two more polls of two queries each: the outage lasts, and stays one report.
# The poll that saw the game ran a second before the pin, the next one 9 s
# after it: 12 s after the pin both have run, with room for a loaded machine.
if [[ $adjusted != none ]]; then
  while (($(now_ms) < pinned_at + 12000)); do sleep 0.2; done
fi
queries_failed=$((2 * 2 + 1))
outage_reports=$(grep -c '^Error occurred in IsProcessRunning' "$dir/ErrorLog.txt" 2>/dev/null)
if [[ $adjusted == SupremeCommander.exe && $spread == yes ]] && running Tavrolin.exe &&
  [[ $outage_reports == 1 && $(reports_in "$dir") == 1 ]] && grep -q '^1004  ' "$dir/ErrorLog.txt"; then
  fault "WMI cannot be used (wbemprox disabled)" pass "the process list answers: SupremeCommander.exe pinned ${pinned_s} s after the start, then spread; after 2 polls and the delay's end ($queries_failed failed queries) ErrorLog.txt holds one report, 1004; the program runs on"
else
  fault "WMI cannot be used (wbemprox disabled)" FAIL "adjusted=$adjusted spread=$spread; outage reports $outage_reports, all reports $(reports_in "$dir")"
fi
echo "the report: $(tr -d '\r' <"$dir/ErrorLog.txt" 2>/dev/null | sed -n 2,6p | tr '\n' '|')"
stop Tavrolin.exe

# --- The taskbar is created anew -----------------------------------------------
dir=$(new_dir taskbar)
cp "$build/taskbar_created.exe" "$dir/"
default_config >"$dir/config.ini"
start_tavrolin "$dir" || fatal "Tavrolin.exe did not start"
find_tray_icon || fatal "no tray icon appeared"
cp "$artifacts/tray-icon.png" "$artifacts/tray-before.png"
first_icon="$icon_x,$icon_y"
# A restarting shell first forgets every icon ...
(cd "$dir" && wine explorer /desktop="$desktop" taskbar_created.exe --forget Tavrolin.Form1 1 \
  >>"$work/wine.log" 2>&1)
sleep 1
forgotten=no
if shot tray-forgotten && orange_in "$artifacts/tray-forgotten.png" && [[ ! $orange =~ ^[1-9] ]]; then
  # ... and by itself the icon does not come back.
  sleep 2
  shot tray-still-gone && orange_in "$artifacts/tray-still-gone.png" && [[ ! $orange =~ ^[1-9] ]] && forgotten=yes
fi
# Then the new taskbar tells every window.
(cd "$dir" && wine explorer /desktop="$desktop" taskbar_created.exe >>"$work/wine.log" 2>&1)
back=no menu=no changed=-
if find_tray_icon; then
  cp "$artifacts/tray-icon.png" "$artifacts/tray-back.png"
  pixels_changed "$artifacts/tray-before.png" "$artifacts/tray-back.png" "$taskbar" &&
    [[ "$icon_x,$icon_y" == "$first_icon" ]] && ((changed < 20)) && back=yes
  if open_tray_menu 3; then
    cp "$artifacts/menu-open.png" "$artifacts/tray-back-menu.png"
    menu=yes
    click_menu_item close
    wait_for 10 menu_gone || fail "\"Close Menu\" left the menu open"
  fi
fi
if [[ $forgotten == yes && $back == yes && $menu == yes ]]; then
  fault "The taskbar created anew" pass "the forgotten icon stays away until \"TaskbarCreated\", then is back at $first_icon ($changed pixels of the taskbar differ from before) and its menu opens"
else
  fault "The taskbar created anew" FAIL "forgotten=$forgotten back=$back (at $icon_x,$icon_y, was $first_icon; $changed pixels differ) menu=$menu"
fi
[[ -e $dir/ErrorLog.txt ]] && fail "ErrorLog.txt appeared: $(tr -d '\r' <"$dir/ErrorLog.txt" | head -5)"
stop Tavrolin.exe

# --- The log cannot be written ------------------------------------------------
# OnlineEnabled=yes must be reported; ErrorLog.txt is a directory.
dir=$(new_dir log-is-a-directory)
config='[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=yes\r\nCPUs=All\r\nGame=0\r\n'
printf "$config" >"$dir/config.ini"
mkdir "$dir/ErrorLog.txt"
start_tavrolin "$dir" || fatal "Tavrolin.exe did not start"
watch_adjustment 60
if [[ $adjusted == SupremeCommander.exe && $spread == yes ]] && running Tavrolin.exe &&
  [[ -d $dir/ErrorLog.txt && -z $(ls -A "$dir/ErrorLog.txt") ]] && cmp -s <(printf "$config") "$dir/config.ini"; then
  fault "ErrorLog.txt is a directory; OnlineEnabled=yes to report" pass "the report is dropped; the program runs on and SupremeCommander.exe is pinned ${pinned_s} s after the start, then spread; config.ini unchanged"
else
  fault "ErrorLog.txt is a directory; OnlineEnabled=yes to report" FAIL "adjusted=$adjusted spread=$spread running=$(running Tavrolin.exe && echo yes || echo no); $(ls -ld "$dir/ErrorLog.txt")"
fi
stop Tavrolin.exe

# --- Settings files read by Windows' profile functions ----------------------------
# Each row's file asks for ForgedAlliance.exe (Game=1, unless the row says
# otherwise) after a delay of 1 s: the first poll, 10 s after the start, sees
# the game, and the pin follows 1 s later. Read wrongly, the program would
# adjust SupremeCommander.exe (the default game) or wait 30 s (the default
# delay) or 60 s (a repeated key), or nothing at all (an empty delay).
rows=()
# profile_row NAME CONFIG EXPECTED_GAME
profile_row() {
  local name=$1 config=$2 expected=$3 dir result reports
  dir=$(new_dir "row-$((${#rows[@]} + 1))")
  printf "$config" >"$dir/config.ini"
  if ! start_tavrolin "$dir"; then
    rows+=("| $name | FAIL | did not start |")
    fail "$name: Tavrolin.exe did not start"
    return
  fi
  watch_adjustment "$short_delay_limit"
  reports=$(reports_in "$dir")
  result="$adjusted, pinned ${pinned_s} s after the start"
  [[ $adjusted == none ]] && result="no game adjusted within $short_delay_limit s"
  if [[ $adjusted == "$expected" && $spread == yes ]] && short_delay_pin && running Tavrolin.exe &&
    [[ $reports == 0 ]] && cmp -s <(printf "$config") "$dir/config.ini"; then
    rows+=("| $name | pass | $result (the short delay, not 30 or 60 s); no report; config.ini unchanged |")
    pass "$name: $result"
  else
    rows+=("| $name | FAIL | $result, spread=$spread; reports: $reports; config.ini $(cmp -s <(printf "$config") "$dir/config.ini" && echo unchanged || echo changed) |")
    fail "$name: $result, spread=$spread, reports $reports"
  fi
  stop Tavrolin.exe
}
profile_row "LF-only line ends" '[Config]\nInitializeDelay=1\nOnlineEnabled=1\nGame=1\n' ForgedAlliance.exe
profile_row "UTF-8 byte-order mark" '\xef\xbb\xbf[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nGame=1\r\n' ForgedAlliance.exe
profile_row "Keys repeated: the first wins" '[Config]\r\nInitializeDelay=1\r\nInitializeDelay=60\r\nOnlineEnabled=1\r\nGame=1\r\nGame=0\r\n' ForgedAlliance.exe
# 299 zeros and a 1: the profile function hands over the first 254 characters
# (the program's buffer is 255 bytes), all zeros, so Game is 0.
profile_row "Game 300 characters (299 zeros, then 1): cut to 254" "[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nGame=$(printf '%0299d' 0)1\r\n" SupremeCommander.exe
profile_row "Quotes and blanks around values (' InitializeDelay = \"1\" ')" '[Config]\r\n InitializeDelay = "1" \r\nOnlineEnabled = 1\r\nGame =  "1"  \r\n' ForgedAlliance.exe

echo
echo "Faults survived by Tavrolin.exe under Wine:"
echo
echo "| Fault | Result | Observed |"
echo "|---|---|---|"
printf '%s\n' "${faults[@]}"
echo
echo "Bad input through Tavrolin.exe under Wine (Windows' profile functions):"
echo
echo "| Row | Result | Observed |"
echo "|---|---|---|"
printf '%s\n' "${rows[@]}"
echo

stop SupremeCommander.exe
stop ForgedAlliance.exe
if ((hardening_alone)); then
  e2e_summary "Wine hardening run"
fi
