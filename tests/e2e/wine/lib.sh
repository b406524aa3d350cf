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
# Results: pass/fail print a line each and count the failures; skip names a
# check that cannot run here (never a pass); fatal ends the run. Screenshots go
# to $artifacts; a screenshot or an image comparison that fails is a failed
# check with the tool's message, and its predicate returns 2 (wait_for stops).
source "$(dirname "${BASH_SOURCE[0]}")/../watch.sh"

# The screen every test runs on. Coordinates below assume it.
screen_w=1024
screen_h=768
desktop="Tavrolin,${screen_w}x${screen_h}"
taskbar="${screen_w}x28+0+740" # the bottom of the screen, where the taskbar and tray are
icon_orange="#F89A20"          # the application icon's top-left core
failures=0
passes=0
skipped=()

# e2e_screen SCRIPT ARGS...: runs SCRIPT again on a virtual X screen of its
# own, unless this already is one, and ends with its status. Xvfb picks a free
# display and writes its number once it accepts clients (xvfb-run waits for a
# signal instead, and can wait forever when the signal comes early).
e2e_screen() {
  [[ -n ${TAVROLIN_E2E_SCREEN:-} ]] && return
  local dir display xvfb rc
  dir=$(mktemp -d /tmp/tavrolin-xvfb.XXXXXX)
  Xvfb -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" -nolisten tcp 3>"$dir/display" >"$dir/log" 2>&1 &
  xvfb=$!
  for _ in $(seq 300); do
    display=$(cat "$dir/display")
    [[ $display =~ ^[0-9]+$ ]] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  if [[ ! $display =~ ^[0-9]+$ ]]; then
    echo "FAIL: the virtual X screen did not start: $(cat "$dir/log")"
    kill "$xvfb" 2>/dev/null
    rm -rf "$dir"
    exit 1
  fi
  TAVROLIN_E2E_SCREEN=1 DISPLAY=:$display "$@"
  rc=$?
  kill "$xvfb"
  wait "$xvfb"
  rm -rf "$dir"
  exit "$rc"
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

# e2e_summary NAME: the closing line, "N passed, F failed, S skipped: NAMES";
# true when nothing failed.
e2e_summary() {
  local line="$1: $passes passed, $failures failed, ${#skipped[@]} skipped" name first=1
  for name in "${skipped[@]}"; do
    ((first)) && line+=": $name" || line+="; $name"
    first=0
  done
  echo "$line ($(($(date +%s) - started_at)) s; screenshots in $artifacts)"
  ((failures == 0))
}

pass() {
  echo "PASS: $*"
  passes=$((passes + 1))
}
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# skip NAME WHY: named and counted; the test command collects the names.
skip() {
  echo "SKIP: $1: $2"
  skipped+=("$1")
  if [[ -n ${TAVROLIN_SKIPPED:-} ]]; then echo "Wine end-to-end: $1" >>"$TAVROLIN_SKIPPED"; fi
}
one_processor() { (($(nproc) < 2)); }
# Ends the run at once; what follows depends on what failed.
fatal() {
  fail "$*"
  echo "screenshots in $artifacts"
  exit 1
}

# wait_for SECONDS COMMAND...: true once COMMAND succeeds, polling every 0.2 s;
# gives up at once when COMMAND returns 2 (a screenshot failed).
wait_for() {
  local deadline=$(($(date +%s%N) + $1 * 1000000000)) rc
  shift
  while :; do
    "$@"
    rc=$?
    ((rc == 0)) && return 0
    ((rc == 2)) && return 2
    (($(date +%s%N) > deadline)) && return 1
    sleep 0.2
  done
}

# image_failed WHAT MESSAGE: a screenshot or an image tool that failed.
image_failed() {
  fail "$1 failed: $(tr '\n' ' ' <<<"${2:-no message}")"
  return 2
}
# shot NAME: a screenshot of the whole screen, $artifacts/NAME.png.
shot() {
  local out
  rm -f "$artifacts/$1.png"
  out=$(import -window root "$artifacts/$1.png" 2>&1) && [[ -s $artifacts/$1.png ]] ||
    image_failed "screenshot $1" "$out"
}

# The Linux pid of a Windows program: its command line starts with its image
# name (anchored: explorer's command line holds the name too).
pid_of() { pgrep -f "^$1" | head -n 1; }
running() { [[ -n $(pid_of "$1") ]]; }
not_running() { [[ -z $(pid_of "$1") ]]; }
# stop NAME: ends the program of that image name that a test started, by its
# pid, and waits until it is gone; sets stopped_ms, when it was seen gone (or
# found gone already: it ended by then at the latest).
stop() {
  local pid status=0
  pid=$(pid_of "$1")
  if [[ -n $pid ]]; then
    kill "$pid" 2>/dev/null
    wait_for 10 not_running "$1" || status=1
  fi
  stopped_ms=$(now_ms)
  return $status
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
# outside the desktop (it has no window), waits for it and watches its threads
# (see watch.sh): the log is ${watch_of[IMAGE]}.
declare -A watch_of
start_game() {
  local dir=$1 image=$2 pid
  shift 2
  (cd "$dir" && exec wine "$image" "$@" >>"$work/wine.log" 2>&1) &
  wait_for 60 running "$image" || return 1
  pid=$(pid_of "$image")
  watch_of[$image]=$work/watch.$pid
  watch_start "$pid" "${watch_of[$image]}"
}
# adjusted_to IMAGE CPUS [SINCE_MS]: the game is pinned to processor 0, then
# ends on CPUS, within a minute (the first poll alone may take 10 s).
adjusted_to() { wait_adjustment "${watch_of[$1]}" "$2" 60 "${3:-0}"; }

# pixels_changed A B GEOMETRY: sets changed, the number of pixels that differ
# between two screenshots inside GEOMETRY.
pixels_changed() {
  local out
  out=$(convert "$1" -crop "$3" +repage "$work/crop-a.png" 2>&1 &&
    convert "$2" -crop "$3" +repage "$work/crop-b.png" 2>&1) ||
    image_failed "cropping $3 of $(basename "$1") and $(basename "$2")" "$out" || return
  # compare's status is 1 when the images differ: the count tells.
  out=$(compare -metric AE -fuzz 8% "$work/crop-a.png" "$work/crop-b.png" null: 2>&1)
  [[ $out =~ ^([0-9]+(\.[0-9]+)?(e\+?[0-9]+)?)$ ]] ||
    image_failed "comparing $(basename "$1") with $(basename "$2")" "$out" || return
  changed=$(awk -v n="${BASH_REMATCH[1]}" 'BEGIN { printf "%d", n }')
}
# changed_box A B GEOMETRY: sets found_box, the bounding box (WxH+X+Y, screen
# coordinates) of what differs inside GEOMETRY.
changed_box() {
  local box
  # An empty box comes with a warning: only the box on stdout counts.
  box=$(convert "$1" "$2" -crop "$3" +repage -compose difference -composite -colorspace gray \
    -threshold 8% -format '%@' info: 2>"$work/convert.err")
  [[ $box =~ ^[0-9]+x[0-9]+\+[0-9]+\+[0-9]+$ ]] ||
    image_failed "finding what differs between $(basename "$1") and $(basename "$2")" "$box $(cat "$work/convert.err")" || return
  found_box="$(box_w "$box")x$(box_h "$box")+$(($(box_x "$box") + $(box_x "$3")))+$(($(box_y "$box") + $(box_y "$3")))"
}
box_x() { sed -E 's/^[0-9]+x[0-9]+\+([0-9]+)\+[0-9]+$/\1/' <<<"$1"; }
box_y() { sed -E 's/^[0-9]+x[0-9]+\+[0-9]+\+([0-9]+)$/\1/' <<<"$1"; }
box_w() { sed -E 's/^([0-9]+)x.*/\1/' <<<"$1"; }
box_h() { sed -E 's/^[0-9]+x([0-9]+)\+.*/\1/' <<<"$1"; }
# colour_near FILE X Y #RRGGBB: the pixel's colour is within 8 of the one
# given in each of red, green and blue (what the screen shows may be a shade
# off); sets colour, as #RRGGBB.
colour_near() {
  local out
  colour=-
  out=$(convert "$1" -format "%[hex:p{$2,$3}]" info: 2>&1)
  [[ $out =~ ^[0-9A-Fa-f]{6} ]] || image_failed "reading the pixel $2,$3 of $(basename "$1")" "$out" || return
  colour="#${out:0:6}"
  local i want=${4#\#}
  for i in 0 2 4; do
    local d=$((16#${colour:$((i + 1)):2} - 16#${want:$i:2}))
    ((d >= -8 && d <= 8)) || return 1
  done
}

# Cpus_allowed_list of every thread of a process, one line per distinct value.
thread_cpus() {
  cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^Cpus_allowed_list:/ {print $2}' | sort -u
}
all_threads_on() { [[ $(thread_cpus "$1") == "$2" ]]; }

# --- The tray icon and its menu ---------------------------------------------

# orange_in FILE: sets orange, the box of the icon's colour in the taskbar
# (0x0+... when there is none): processor 0's orange core.
orange_in() {
  orange=$(convert "$1" -crop "$taskbar" +repage -fuzz 12% -fill lime -opaque "$icon_orange" \
    -fuzz 0 -fill black +opaque lime -format '%@' info: 2>"$work/convert.err")
  [[ $orange =~ ^[0-9]+x[0-9]+\+[0-9]+\+[0-9]+$ ]] ||
    image_failed "looking for the icon in $(basename "$1")" "$orange $(cat "$work/convert.err")"
}
icon_shown() {
  shot tray-icon || return
  orange_in "$artifacts/tray-icon.png" || return
  [[ $orange =~ ^[1-9][0-9]*x[1-9] && $(box_w "$orange") -lt 20 ]]
}
icon_gone() {
  shot after-exit || return
  orange_in "$artifacts/after-exit.png" || return
  [[ ! $orange =~ ^[1-9] ]]
}
# find_tray_icon: waits for the icon and sets icon_x, icon_y (its centre).
find_tray_icon() {
  wait_for 30 icon_shown || return 1
  icon_x=$(($(box_x "$orange") + $(box_w "$orange") / 2 + $(box_x "$taskbar")))
  icon_y=$(($(box_y "$orange") + $(box_h "$orange") / 2 + $(box_y "$taskbar")))
}

# Where the menu can open: it starts at the pointer on the icon and is pushed
# inside the screen, so it stays in the bottom-right corner, away from the
# windows centred on the screen.
menu_area="300x400+$((screen_w - 300))+$((screen_h - 400))"
menu_seen() {
  shot menu-open || return
  pixels_changed "$artifacts/tray-icon.png" "$artifacts/menu-open.png" "$menu_area" || return
  ((changed > 500))
}
menu_gone() {
  shot menu-closed || return
  # Above the taskbar, whose icon may still be highlighted.
  pixels_changed "$artifacts/tray-icon.png" "$artifacts/menu-closed.png" "300x372+$((screen_w - 300))+$((screen_h - 400))" || return
  ((changed < 50))
}
# open_tray_menu [BUTTON]: clicks the icon (button 1 by default) and waits for
# the menu; sets menu_box and menu_x, menu_y, menu_h, and finds its items
# (menu_item_y). The screen with the open menu is menu-open.png. Needs
# find_tray_icon.
open_tray_menu() {
  shot tray-icon || return # what the screen shows without the menu
  xdotool mousemove "$icon_x" "$icon_y" click "${1:-1}"
  wait_for 10 menu_seen || return
  changed_box "$artifacts/tray-icon.png" "$artifacts/menu-open.png" "$menu_area" || return
  menu_box=$found_box
  menu_x=$(box_x "$menu_box")
  menu_y=$(box_y "$menu_box")
  menu_h=$(box_h "$menu_box")
  find_menu_items
}
# find_menu_items: the menu holds "Close Menu", a separator, "   Options",
# "      Info", a separator and "    Exit". The separators are the only thin
# lines inside the menu drawn nearly all across it (a row of text never is; a
# highlighted item is a thick band): found on the screenshot, they give each
# item's place, whatever the font and the theme make of the items' heights.
# Sets item_close, item_options, item_info and item_exit (the heights of the
# items' centres).
find_menu_items() {
  local rows separators
  # Per row of the menu, how much of it is not the background (0 to 255).
  rows=$(convert "$artifacts/menu-open.png" -crop "$menu_box" +repage -colorspace gray -threshold 90% \
    -negate -scale "1x${menu_h}!" -depth 8 txt:- 2>"$work/convert.err") || image_failed "reading the menu's rows" "$(cat "$work/convert.err")" || return
  # From row 3 to the third last: the menu's frame is drawn all across too.
  separators=$(awk -F'[,:() ]+' -v h="$menu_h" '
    /^#/ { next }
    { y = $2; drawn = $3 >= 0.8 * 255 && y >= 3 && y < h - 3 }
    drawn && !inside { start = y; inside = 1 }
    !drawn && inside { if (y - start <= 3) printf "%d %d\n", start, y - 1; inside = 0 }
  ' <<<"$rows")
  if [[ $(grep -c . <<<"$separators") != 2 ]]; then
    fail "the menu ($menu_box) does not show two separators: rows $(tr '\n' ',' <<<"$separators")"
    return 2
  fi
  local top1 bottom1 top2 bottom2
  read -r top1 bottom1 top2 bottom2 <<<"$(tr '\n' ' ' <<<"$separators")"
  item_close=$((menu_y + top1 / 2))
  item_options=$((menu_y + bottom1 + (top2 - bottom1) / 4))
  item_info=$((menu_y + bottom1 + (top2 - bottom1) * 3 / 4))
  item_exit=$((menu_y + (bottom2 + menu_h) / 2))
}
menu_item_y() {
  case $1 in
    close) echo "$item_close" ;;
    options) echo "$item_options" ;;
    info) echo "$item_info" ;;
    exit) echo "$item_exit" ;;
  esac
}
click_menu_item() { xdotool mousemove $((menu_x + 30)) "$(menu_item_y "$1")" click 1; }
# choose_from_tray ITEM: opens the menu and chooses the item.
choose_from_tray() {
  open_tray_menu || return
  click_menu_item "$1"
}

# --- The options dialog -------------------------------------------------------

# The screen above the taskbar (where the dialog gets a button).
above_taskbar="${screen_w}x740+0+0"

# The dialog's design in twips, at the program's screen resolution (set_dpi;
# 96 dpi unless a test sets the prefix's LogPixels): its client area, and the
# places of what the tests click, in pixels from the client area's top left
# corner (dialog_x, dialog_y), rounded as the dialog rounds them.
px() { echo $((($1 * dpi + 720) / 1440)); }
set_dpi() {
  dpi=$1
  client_w=$(px 4215)
  client_h=$(px 4005)
}
set_dpi 96
cpu_x() { echo $((dialog_x + $(px $((240 + 240))) + $(px 855) / 2)); } # column 1
cpu_y() { echo $((dialog_y + $(px $((600 + 600 + 360 * $1))) + $(px 195) / 2)); }
save_x() { echo $((dialog_x + $(px $((1260 + 1695 / 2))))); }
save_y() { echo $((dialog_y + $(px $((3600 + 315 / 2))))); }
combo1_x() { echo $((dialog_x + $(px $((1320 + 2655 / 2))))); }
combo1_y() { echo $((dialog_y + $(px $((90 + 315 / 2))))); }
check2_x() { echo $((dialog_x + $(px 240) + 6 * dpi / 96)); } # on the online box's square
check2_y() { echo $((dialog_y + $(px $((3120 + 255 / 2))))); }

# dialog_seen NAME / dialog_gone: against empty-screen.png, a screenshot
# without any window of the program.
dialog_seen() {
  shot "$1" || return
  pixels_changed "$artifacts/empty-screen.png" "$artifacts/$1.png" "$above_taskbar" || return
  ((changed > 20000))
}
dialog_gone() {
  shot after || return
  pixels_changed "$artifacts/empty-screen.png" "$artifacts/after.png" "$above_taskbar" || return
  ((changed < 50))
}
# open_options: "   Options" from the tray; the dialog shows (options-open.png).
open_options() {
  choose_from_tray options || return 1
  wait_for 10 dialog_seen options-open
}
# find_dialog: the dialog shown in options-open.png, centred on the screen:
# sets box (its outer rectangle), dialog_x and dialog_y (its client area's
# corner, from the border, as wide at the bottom as at the sides), border and
# dialog_area (the dialog with a margin, for screenshots).
find_dialog() {
  changed_box "$artifacts/empty-screen.png" "$artifacts/options-open.png" "$above_taskbar" || return
  box=$found_box
  border=$((($(box_w "$box") - client_w) / 2))
  dialog_x=$(($(box_x "$box") + border))
  dialog_y=$(($(box_y "$box") + $(box_h "$box") - border - client_h))
  dialog_area="$(($(box_w "$box") + 24))x$(($(box_h "$box") + 24))+$(($(box_x "$box") - 12))+$(($(box_y "$box") - 12))"
}
# dialog_centred: the dialog found is centred on the screen, and its border
# (from the client area's design width) is a plausible one.
dialog_centred() {
  local centre_x=$(($(box_x "$box") + $(box_w "$box") / 2)) centre_y=$(($(box_y "$box") + $(box_h "$box") / 2))
  ((border >= 1 && border <= 4 * dpi / 96 && centre_x >= screen_w / 2 - 1 && centre_x <= screen_w / 2 + 1 &&
    centre_y >= screen_h / 2 - 1 && centre_y <= screen_h / 2 + 1))
}
# close_dialog: its close button, at the right end of the title bar.
close_dialog() { click $(($(box_x "$box") + $(box_w "$box") - 12 * dpi / 96)) $(($(box_y "$box") + 11 * dpi / 96)); }
click() {
  xdotool mousemove "$1" "$2" click 1
  sleep 0.3
}
save() { click "$(save_x)" "$(save_y)"; }
# sleep_past_poll: until the watcher has polled since the last stop. A game
# that ends and starts again before a poll has seen it gone counts as the same
# run, and is not adjusted again. The polls come every 10 s while the program
# runs, whatever the dialog does, and nothing outside the program shows one:
# 13 s after the stop leaves 3 s for a loaded machine.
sleep_past_poll() {
  local wait=$((stopped_ms + 13000 - $(now_ms)))
  if ((wait > 0)); then sleep "$((wait / 1000)).$(printf '%03d' $((wait % 1000)))"; fi
}
# crop_shot NAME GEOMETRY TO: a part of a screenshot, kept as TO.png.
crop_shot() {
  local out
  out=$(convert "$artifacts/$1.png" -crop "$2" +repage "$artifacts/$3.png" 2>&1) && [[ -s $artifacts/$3.png ]] ||
    image_failed "cropping $2 of $1.png" "$out"
}
