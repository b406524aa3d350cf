# Helpers for the end-to-end tests of the Windows program under Wine. Sourced
# by run.sh and by the scripts it calls; each of those can also run alone:
#
#   source "$here/lib.sh"
#   e2e_screen "$0" "$@"        # re-runs the script on a virtual X screen
#   e2e_setup BUILD_DIR [keep]  # work dir, prefix variables, artifacts, cleanup
#   e2e_prefix                  # a fresh Wine prefix
#   ...tests...
#   e2e_summary NAME
#
# Results: pass/fail print a line each and count the failures; fatal ends the
# run. Screenshots go to $artifacts.

# The screen every test runs on. Coordinates below assume it.
screen_w=1024
screen_h=768
desktop="Tavrolin,${screen_w}x${screen_h}"
taskbar="${screen_w}x28+0+740" # the bottom of the screen, where the taskbar and tray are
icon_orange="#F89A20"          # the application icon's top-left core
failures=0

# e2e_screen SCRIPT ARGS...: runs SCRIPT again inside a virtual X screen of its
# own, unless this already is one.
e2e_screen() {
  if [[ -z ${TAVROLIN_E2E_SCREEN:-} ]]; then
    TAVROLIN_E2E_SCREEN=1 exec xvfb-run -a -s "-screen 0 ${screen_w}x${screen_h}x24" "$@"
  fi
}

# e2e_setup BUILD_DIR [keep]: sets build, artifacts, work and the Wine
# variables; the artifacts directory starts empty unless "keep" is given.
e2e_setup() {
  build=$(cd "${1:?usage: BUILD_DIR}" && pwd)
  artifacts=$build/e2e-artifacts
  [[ ${2:-} == keep ]] || rm -rf "$artifacts"
  mkdir -p "$artifacts"
  work=$(mktemp -d /tmp/tavrolin-wine-e2e.XXXXXX)
  export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
  started_at=$(date +%s)
  trap e2e_cleanup EXIT
}

e2e_cleanup() {
  # Files made immutable by a test would survive rm.
  chattr -R -i "$work" >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  rm -rf "$work"
}

# A fresh prefix. Debian's Wine does not look into the directory of its own
# fonts (fonts-wine); in the prefix's font directory it finds Tahoma, which
# the windows use, and Marlett, which draws the caption buttons.
e2e_prefix() {
  echo "Creating a fresh Wine prefix..."
  wineboot -i >/dev/null 2>&1 || fatal "wineboot failed"
  wineserver -w
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
}

# e2e_summary NAME: the closing line; true when nothing failed.
e2e_summary() {
  echo "$1: $(($(date +%s) - started_at)) s, $failures failure(s); screenshots in $artifacts"
  ((failures == 0))
}

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
# stop NAME: ends the program of that image name that a test started, by its
# pid, and waits until it is gone.
stop() {
  local pid
  pid=$(pid_of "$1")
  [[ -n $pid ]] || return 0
  kill "$pid" 2>/dev/null
  wait_for 10 not_running "$1"
}

default_config() {
  printf '%s\r\n' \
    ";Configuration is done by the program and shouldn't be adjusted here." \
    ";Delete this file if issues arise, the app will make a new one." \
    "" "[Config]" "InitializeDelay=30" "OnlineEnabled=1" "CPUs=All" "Game=0"
}

# new_dir NAME [IMAGE...]: a directory with Tavrolin.exe and the stand-in game
# under each IMAGE name.
new_dir() {
  local dir=$work/$1
  shift
  mkdir -p "$dir"
  cp "$build/Tavrolin.exe" "$dir/"
  for name in "$@"; do cp "$build/standin.exe" "$dir/$name"; done
  echo "$dir"
}

# start_in_desktop DIR IMAGE [ARGS...]: starts a program of DIR in the shared
# Wine desktop, in the background.
start_in_desktop() {
  local dir=$1
  shift
  (cd "$dir" && exec wine explorer /desktop="$desktop" "$@" >>"$work/wine.log" 2>&1) &
}

# start_game DIR IMAGE [ARGS...]: starts the stand-in under its game name,
# outside the desktop (it has no window), and waits for it.
start_game() {
  local dir=$1 image=$2
  shift 2
  (cd "$dir" && exec wine "$image" "$@" >>"$work/wine.log" 2>&1) &
  wait_for 20 running "$image"
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
# The colour of one pixel of a screenshot, as #RRGGBB.
pixel() { convert "$1" -format "%[hex:p{$2,$3}]" info: 2>/dev/null | sed 's/^/#/' | cut -c1-7; }

# Cpus_allowed_list of every thread of a process, one line per distinct value.
thread_cpus() {
  cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^Cpus_allowed_list:/ {print $2}' | sort -u
}
all_threads_on() { [[ $(thread_cpus "$1") == "$2" ]]; }

# --- The tray icon and its menu ---------------------------------------------

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
icon_gone() {
  shot after-exit
  [[ ! $(orange_box "$artifacts/after-exit.png") =~ ^[1-9] ]]
}
# find_tray_icon: waits for the icon and sets icon_x, icon_y (its centre).
find_tray_icon() {
  wait_for 10 icon_shown || return 1
  local box
  box=$(orange_box "$artifacts/tray-icon.png")
  icon_x=$(($(box_x "$box") + $(box_w "$box") / 2 + $(box_x "$taskbar")))
  icon_y=$(($(box_y "$box") + $(box_h "$box") / 2 + $(box_y "$taskbar")))
}

# Where the menu can open: it starts at the pointer on the icon and is pushed
# inside the screen, so it stays in the bottom-right corner, away from the
# windows centred on the screen.
menu_area="300x400+$((screen_w - 300))+$((screen_h - 400))"
menu_seen() {
  shot menu-open
  [[ $(changed_pixels "$artifacts/tray-icon.png" "$artifacts/menu-open.png" "$menu_area") -gt 500 ]]
}
menu_gone() {
  shot menu-closed
  # Above the taskbar, whose icon may still be highlighted.
  [[ $(changed_pixels "$artifacts/tray-icon.png" "$artifacts/menu-closed.png" "300x372+$((screen_w - 300))+$((screen_h - 400))") -lt 50 ]]
}
# open_tray_menu [BUTTON]: clicks the icon (button 1 by default) and waits for
# the menu; sets menu_box and menu_x, menu_y, menu_h. The screen with the open
# menu is menu-open.png. Needs find_tray_icon.
open_tray_menu() {
  shot tray-icon # what the screen shows without the menu
  xdotool mousemove "$icon_x" "$icon_y" click "${1:-1}"
  wait_for 5 menu_seen || return 1
  menu_box=$(changed_box "$artifacts/tray-icon.png" "$artifacts/menu-open.png" "$menu_area")
  menu_x=$(box_x "$menu_box")
  menu_y=$(box_y "$menu_box")
  menu_h=$(box_h "$menu_box")
}
# menu_item_y ITEM: the height of an item's centre in the open menu. Four
# items of equal height and two separators, in the order "Close Menu", -,
# "   Options", "      Info", -, "    Exit".
menu_item_y() {
  case $1 in
    close) echo $((menu_y + 12)) ;;
    options) echo $((menu_y + menu_h / 2 - 9)) ;;
    info) echo $((menu_y + menu_h / 2 + 8)) ;;
    exit) echo $((menu_y + menu_h - 12)) ;;
  esac
}
click_menu_item() { xdotool mousemove $((menu_x + 30)) "$(menu_item_y "$1")" click 1; }
# choose_from_tray ITEM: opens the menu and chooses the item.
choose_from_tray() {
  open_tray_menu || return 1
  click_menu_item "$1"
}
