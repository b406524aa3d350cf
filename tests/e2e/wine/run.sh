#!/usr/bin/env bash
# End-to-end tests of the Windows program under Wine, on a virtual X screen:
# a fresh Wine prefix, Tavrolin.exe in a Wine desktop with a taskbar and tray,
# the stand-in game started as SupremeCommander.exe, and the results read
# from outside (/proc, the files written, screenshots).
#
#   tests/e2e/wine/run.sh BUILD_DIR     (e.g. build/win64)
#
# Screenshots stay in BUILD_DIR/e2e-artifacts (tray-menu.png shows the open
# menu). Exits non-zero when a check fails. Takes about a minute.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)

# Everything runs on one virtual screen of its own.
if [[ -z ${TAVROLIN_E2E_SCREEN:-} ]]; then
  TAVROLIN_E2E_SCREEN=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build"
fi

started_at=$(date +%s)
artifacts=$build/e2e-artifacts
rm -rf "$artifacts"
mkdir -p "$artifacts"
work=$(mktemp -d /tmp/tavrolin-wine-e2e.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
desktop="Tavrolin,1024x768"
failures=0

cleanup() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

pass() { echo "PASS: $*"; }
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# Ends the run at once; what follows depends on what failed.
fatal() {
  fail "$*"
  echo "screenshots in $artifacts"
  exit 1
}

# wait_for SECONDS COMMAND...: true once COMMAND succeeds, polling every 0.2 s.
wait_for() {
  local deadline=$(($(date +%s%N) + $1 * 1000000000))
  shift
  until "$@"; do
    (($(date +%s%N) > deadline)) && return 1
    sleep 0.2
  done
}

shot() { import -window root "$artifacts/$1.png"; }

# The Linux pid of a Windows program: its command line starts with its image
# name (anchored: explorer's command line holds the name too).
pid_of() { pgrep -f "^$1" | head -n 1; }
running() { [[ -n $(pid_of "$1") ]]; }
not_running() { [[ -z $(pid_of "$1") ]]; }

default_config() {
  printf '%s\r\n' \
    ";Configuration is done by the program and shouldn't be adjusted here." \
    ";Delete this file if issues arise, the app will make a new one." \
    "" "[Config]" "InitializeDelay=30" "OnlineEnabled=1" "CPUs=All" "Game=0"
}

# A directory with Tavrolin.exe and the stand-in under the given names.
new_dir() {
  local dir=$work/$1
  shift
  mkdir -p "$dir"
  cp "$build/Tavrolin.exe" "$dir/"
  for name in "$@"; do cp "$build/standin.exe" "$dir/$name"; done
  echo "$dir"
}

# Starts a program of `dir` in the shared Wine desktop, in the background.
start_in_desktop() {
  (cd "$1" && exec wine explorer /desktop="$desktop" "$2" >>"$work/wine.log" 2>&1) &
}

# Number of pixels that differ between two screenshots inside GEOMETRY.
changed_pixels() {
  convert "$1" -crop "$3" +repage "$work/crop-a.png"
  convert "$2" -crop "$3" +repage "$work/crop-b.png"
  local count
  count=$(compare -metric AE -fuzz 8% "$work/crop-a.png" "$work/crop-b.png" null: 2>&1)
  [[ $count =~ ^[0-9]+$ ]] && echo "$count" || echo 999999
}
# The bounding box (WxH+X+Y, screen coordinates) of what differs inside GEOMETRY.
changed_box() {
  local box
  box=$(convert "$1" "$2" -crop "$3" +repage -compose difference -composite -colorspace gray \
    -threshold 8% -format '%@' info: 2>/dev/null)
  echo "$(box_w "$box")x$(box_h "$box")+$(($(box_x "$box") + $(box_x "$3")))+$(($(box_y "$box") + $(box_y "$3")))"
}
box_x() { sed -E 's/^[0-9]+x[0-9]+\+([0-9]+)\+[0-9]+$/\1/' <<<"$1"; }
box_y() { sed -E 's/^[0-9]+x[0-9]+\+[0-9]+\+([0-9]+)$/\1/' <<<"$1"; }
box_w() { sed -E 's/^([0-9]+)x.*/\1/' <<<"$1"; }
box_h() { sed -E 's/^[0-9]+x([0-9]+)\+.*/\1/' <<<"$1"; }

# Cpus_allowed_list of every thread of a process, one line per distinct value.
thread_cpus() {
  cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^Cpus_allowed_list:/ {print $2}' | sort -u
}
all_threads_on() { [[ $(thread_cpus "$1") == "$2" ]]; }

echo "Creating a fresh Wine prefix..."
wineboot -i >/dev/null 2>&1 || fatal "wineboot failed"
wineserver -w

taskbar="1024x28+0+740" # the bottom of the screen, where the taskbar and tray are
icon_orange="#F89A20"   # the icon's top-left core

# --- Fresh start, a second copy, the tray menu and exit ----------------------
dir=$(new_dir fresh Idle.exe)
# An idle program holds the desktop before and after ours.
start_in_desktop "$dir" Idle.exe
wait_for 30 running Idle.exe || fatal "the Wine desktop did not start"
sleep 2
shot desktop-before

start_in_desktop "$dir" Tavrolin.exe
wait_for 30 test -f "$dir/config.ini" || fatal "Tavrolin.exe wrote no config.ini"
wait_for 10 running Tavrolin.exe || fatal "Tavrolin.exe is not running"
sleep 1
if cmp -s <(default_config) "$dir/config.ini"; then
  pass "a fresh start writes the default config.ini byte for byte ($(stat -c %s "$dir/config.ini") bytes)"
else
  fail "config.ini differs from the default: $(od -c "$dir/config.ini" | head -n 5)"
fi
[[ -e $dir/ErrorLog.txt ]] && fail "a fresh start wrote ErrorLog.txt" || pass "no ErrorLog.txt after a fresh start"

# The icon, found by its colour: processor 0's orange core, in the taskbar.
orange_box() {
  convert "$1" -crop "$taskbar" +repage -fuzz 12% -fill lime -opaque "$icon_orange" \
    -fuzz 0 -fill black +opaque lime -format '%@' info: 2>/dev/null
}
icon_shown() {
  shot tray-icon
  local box
  box=$(orange_box "$artifacts/tray-icon.png")
  [[ $box =~ ^[1-9][0-9]*x[1-9] && $(box_w "$box") -lt 20 ]]
}
wait_for 10 icon_shown || fatal "no tray icon appeared"
icon_box=$(orange_box "$artifacts/tray-icon.png")
icon_x=$(($(box_x "$icon_box") + $(box_w "$icon_box") / 2 + $(box_x "$taskbar")))
icon_y=$(($(box_y "$icon_box") + $(box_h "$icon_box") / 2 + $(box_y "$taskbar")))
pass "the tray icon shows at $icon_x,$icon_y"

before=$(stat -c '%Y %s' "$dir/config.ini")
second_start=$(date +%s%N)
(cd "$dir" && timeout 30 wine Tavrolin.exe >>"$work/wine.log" 2>&1)
second_rc=$?
second_ms=$((($(date +%s%N) - second_start) / 1000000))
if [[ $second_rc == 0 && $(pgrep -fc '^Tavrolin.exe') == 1 ]]; then
  pass "a second Tavrolin.exe ends at once (${second_ms} ms, status 0); the first runs on"
else
  fail "second copy: status $second_rc after ${second_ms} ms, $(pgrep -fc '^Tavrolin.exe') copies running"
fi
[[ $(stat -c '%Y %s' "$dir/config.ini") == "$before" && ! -e $dir/ErrorLog.txt ]] &&
  pass "the second copy changed no file" || fail "the second copy changed config.ini or wrote ErrorLog.txt"

# Left click: the menu opens at the pointer.
xdotool mousemove "$icon_x" "$icon_y" click 1
menu_seen() {
  shot tray-menu
  [[ $(changed_pixels "$artifacts/tray-icon.png" "$artifacts/tray-menu.png" "1024x768+0+0") -gt 500 ]]
}
wait_for 5 menu_seen || fatal "a left click on the icon opened no menu"
menu_box=$(changed_box "$artifacts/tray-icon.png" "$artifacts/tray-menu.png" "1024x768+0+0")
menu_x=$(box_x "$menu_box")
menu_y=$(box_y "$menu_box")
menu_h=$(box_h "$menu_box")
pass "a left click opens the menu ($menu_box), kept as e2e-artifacts/tray-menu.png"

# "Close Menu", the first item, closes it and changes nothing.
xdotool mousemove $((menu_x + 30)) $((menu_y + 12)) click 1
menu_gone() {
  shot menu-closed
  [[ $(changed_pixels "$artifacts/tray-icon.png" "$artifacts/menu-closed.png" "1024x720+0+0") -lt 50 ]]
}
wait_for 5 menu_gone && running Tavrolin.exe && pass "\"Close Menu\" closes the menu; the program runs on" ||
  fail "\"Close Menu\" left the menu open or ended the program"

# Right click opens the same menu; "    Exit" is its last item.
xdotool mousemove "$icon_x" "$icon_y" click 3
wait_for 5 menu_seen || fatal "a right click on the icon opened no menu"
cp "$artifacts/tray-menu.png" "$artifacts/tray-menu-right.png"
menu_box2=$(changed_box "$artifacts/tray-icon.png" "$artifacts/tray-menu.png" "1024x768+0+0")
[[ $(box_h "$menu_box2") == "$menu_h" ]] && pass "a right click opens the same menu ($menu_box2)" ||
  fail "the right-click menu ($menu_box2) differs from the left-click one ($menu_box)"
menu_x=$(box_x "$menu_box2")
menu_y=$(box_y "$menu_box2")
menu_h=$(box_h "$menu_box2")
xdotool mousemove $((menu_x + 30)) $((menu_y + menu_h - 12)) click 1
wait_for 10 not_running Tavrolin.exe && pass "\"    Exit\" ends the program" || fail "Tavrolin.exe still runs after \"    Exit\""
icon_gone() {
  shot after-exit
  [[ ! $(orange_box "$artifacts/after-exit.png") =~ ^[1-9] ]]
}
wait_for 5 icon_gone && pass "the tray icon is gone" || fail "the tray icon is still shown after exit"
[[ -e $dir/ErrorLog.txt ]] && fail "ErrorLog.txt appeared: $(cat "$dir/ErrorLog.txt")" || pass "still no ErrorLog.txt"

# --- The adjustment: processor 0 first, then all processors ------------------
if running Tavrolin.exe; then
  kill "$(pid_of Tavrolin.exe)"  # left over from a failed exit: it would keep the next copy out
  wait_for 10 not_running Tavrolin.exe
fi
dir=$(new_dir adjust SupremeCommander.exe)
printf '[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nCPUs=All\r\nGame=0\r\n' >"$dir/config.ini"
(cd "$dir" && exec wine SupremeCommander.exe --threads 4 >>"$work/wine.log" 2>&1) &
wait_for 20 running SupremeCommander.exe || fatal "the stand-in game did not start"
game=$(pid_of SupremeCommander.exe)
all_cpus=$(thread_cpus "$game")
threads=$(ls /proc/"$game"/task | wc -l)
echo "stand-in game: pid $game, $threads threads, on processors $all_cpus"
[[ $all_cpus == 0 ]] && fatal "this machine lets the game run on processor 0 only; nothing to spread"

start_in_desktop "$dir" Tavrolin.exe
adjust_start=$(date +%s%N)
# The poll sees the game within 10 s, the delay adds 1 s.
if wait_for 20 all_threads_on "$game" 0; then
  pinned_ms=$((($(date +%s%N) - adjust_start) / 1000000))
  pass "every thread of the game goes to processor 0 (${pinned_ms} ms after the start)"
  pinned_at=$(date +%s%N)
  if wait_for 5 all_threads_on "$game" "$all_cpus"; then
    pass "then every thread goes to processors $all_cpus ($((($(date +%s%N) - pinned_at) / 1000000)) ms later)"
  else
    fail "the game stayed on $(thread_cpus "$game" | tr '\n' ' ')"
  fi
else
  fail "the game was not pinned to processor 0: $(thread_cpus "$game" | tr '\n' ' ')"
fi
sleep 1
all_threads_on "$game" "$all_cpus" && pass "and stays there" || fail "the final mask did not hold"
[[ -e $dir/ErrorLog.txt ]] && fail "the adjustment wrote ErrorLog.txt: $(cat "$dir/ErrorLog.txt")" ||
  pass "the adjustment wrote no ErrorLog.txt"

echo "Wine end-to-end run: $(($(date +%s) - started_at)) s, $failures failure(s); screenshots in $artifacts"
((failures == 0))
