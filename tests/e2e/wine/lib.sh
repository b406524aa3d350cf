# shellcheck shell=bash
# What only the Wine end-to-end scripts need, on top of ../lib.sh: a virtual X
# screen, a Wine prefix copied from one made once, Tavrolin.exe in a Wine
# desktop with a taskbar and tray (its debug lines in a log of its own), the
# stand-in games, and the tray menu and the options dialog found on
# screenshots.
#
#   source "$here/lib.sh"
#   e2e_screen "$0" "$@"              # re-runs the script on a virtual X screen
#   wine_begin SUITE BUILD_DIR        # work dir, prefix, artifacts, cleanup
#   ...cases...
#   e2e_summary
#
# A screenshot or an image tool that fails is a failed check with the tool's
# message, and its predicate returns 2 (wait_until stops at once).
# shellcheck source=../lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
# shellcheck source=prefix.sh
source "$(dirname "${BASH_SOURCE[0]}")/prefix.sh"

# The screen every test runs on. Coordinates below assume it.
screen_w=1024
screen_h=768
taskbar="${screen_w}x28+0+740" # the bottom of the screen, where the taskbar and tray are
icon_orange="#F89A20"          # the application icon's top-left core

# e2e_screen SCRIPT ARGS...: runs SCRIPT again on a virtual X screen of its
# own, unless this already is one, and ends with its status. Xvfb picks a free
# display and writes its number once it accepts clients (xvfb-run waits for a
# signal instead, and can wait forever when the signal comes early).
e2e_screen() {
  [[ -n ${TAVROLIN_E2E_SCREEN:-} ]] && return
  local dir display='' xvfb rc
  dir=$(mktemp -d /tmp/tavrolin-xvfb.XXXXXX)
  Xvfb -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" -nolisten tcp 3>"$dir/display" >"$dir/log" 2>&1 &
  xvfb=$!
  display_known() {
    display=$(cat "$dir/display")
    [[ $display =~ ^[0-9]+$ ]] && return 0
    kill -0 "$xvfb" 2>/dev/null && return 1
    return 2
  }
  if ! wait_until 30 display_known; then
    echo "FAIL: the virtual X screen did not start: $(cat "$dir/log")"
    kill "$xvfb" 2>/dev/null
    rm -rf "$dir"
    exit 1
  fi
  TAVROLIN_E2E_SCREEN=1 DISPLAY=:$display "$@"
  rc=$?
  kill "$xvfb"
  if ! wait "$xvfb"; then
    echo "FAIL: the virtual X screen ended with status $?: $(cat "$dir/log")"
    rc=1
  fi
  rm -rf "$dir"
  exit "$rc"
}

# wine_begin SUITE BUILD_DIR: e2e_begin (the suite named with the exe's
# width: "SUITE (64-bit)"); $build, $artifacts (the script's screenshots:
# BUILD_DIR/e2e-artifacts/SCRIPT) and a fresh prefix of the script's own. A
# 32-bit Tavrolin.exe needs Debian's wine32: without it the script is skipped
# by name.
wine_begin() {
  local bits=64
  [[ $(pe_machine "$2/Tavrolin.exe") == 014c ]] && bits=32
  e2e_begin "$1 ($bits-bit)"
  build=$(cd "$2" && pwd) && [[ -f $build/Tavrolin.exe ]] || fatal "no Tavrolin.exe in $2"
  artifacts=$build/e2e-artifacts/$(basename "$0" .sh)
  rm -rf "$artifacts"
  mkdir -p "$artifacts"
  echo "$suite: $build; screenshots in $artifacts"
  if ((bits == 32)) && [[ ! -x /usr/lib/wine/wine ]]; then
    skip "the 32-bit exe" "wine32 is not installed: no 32-bit exe runs"
    e2e_summary
  fi
  export WINEPREFIX=$work/prefix
  new_prefix "$WINEPREFIX" "$build"
  # Every program in one Wine desktop with a taskbar and tray, as winecfg's
  # "Emulate a virtual desktop" sets it.
  prefix_setting "$WINEPREFIX" 'Software\Wine\Explorer' '"Desktop"="Default"'
  prefix_setting "$WINEPREFIX" 'Software\Wine\Explorer\Desktops' "\"Default\"=\"${screen_w}x${screen_h}\""
}
# pe_machine EXE: the machine field of a Windows exe's header (014c: i386).
pe_machine() {
  local at
  at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  od -An -tx2 -j$((at + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}

# --- Programs and games --------------------------------------------------------

alive() { ! not_alive "$1"; }
# end_wine PID NAME: SIGTERM; a failed check when it has not ended in 30 s.
end_wine() { stop_pid "$1" || fail "$2 (pid $1) did not end on SIGTERM"; }

# new_dir NAME [IMAGE...]: a directory with Tavrolin.exe and the stand-in game
# under each IMAGE name.
new_dir() {
  local dir=$work/$1 name
  shift
  mkdir -p "$dir"
  cp "$build/Tavrolin.exe" "$dir/"
  for name in "$@"; do cp "$build/standin.exe" "$dir/$name"; done
  echo "$dir"
}

# wine_desktop DIR: the Wine desktop, held by the idle program DIR/Idle.exe
# (the desktop closes when its last program ends). Its taskbar shows with the
# first icon or window.
wine_desktop() {
  (cd "$1" && exec wine Idle.exe >>"$work/wine.log" 2>&1) &
  pids_to_kill+=("$!")
  wait_until 60 wine_pid Idle.exe >/dev/null || fatal "the Wine desktop did not start: $(tail -n 5 "$work/wine.log")"
}

# start_tavrolin DIR: Tavrolin.exe of DIR; waits for its process. Sets
# program (its pid), program_ms (when it was seen) and debug (its log, with
# its debug lines: OutputDebugStringA, which Wine writes to stderr).
# One copy runs at a time: one that never ended would keep the new one out
# and be taken for it.
tavrolin_runs=0
start_tavrolin() {
  local left
  left=$(wine_pid Tavrolin.exe) && fatal "Tavrolin.exe (pid $left) still runs: a new one would end at once"
  tavrolin_runs=$((tavrolin_runs + 1))
  debug=$work/tavrolin.$tavrolin_runs.log
  (cd "$1" && WINEDEBUG=-all,warn+debugstr exec wine Tavrolin.exe >"$debug" 2>&1) &
  pids_to_kill+=("$!")
  program_seen() { program=$(wine_pid Tavrolin.exe); }
  wait_until 60 program_seen || return 1
  program_ms=$(now_ms)
}
end_tavrolin() { end_wine "$program" Tavrolin.exe; }

# start_game DIR IMAGE [ARGS...]: the stand-in under its game name; waits for
# it and watches its threads (see watch.sh). Sets game_pid[IMAGE] and
# watch_of[IMAGE], the watch log.
declare -A game_pid watch_of
start_game() {
  local dir=$1 image=$2
  shift 2
  (cd "$dir" && exec wine "$image" "$@" >>"$work/wine.log" 2>&1) &
  pids_to_kill+=("$!")
  wait_until 60 wine_pid "$image" >/dev/null || return 1
  game_pid[$image]=$(wine_pid "$image")
  watch_of[$image]=$work/watch.${game_pid[$image]}
  watch_start "${game_pid[$image]}" "${watch_of[$image]}"
  pids_to_kill+=("$watcher")
}
# end_game IMAGE: ends the game (a failed check when it does not end).
declare -A ended_after
end_game() {
  end_wine "${game_pid[$1]}" "$1"
  ended_after[$1]=$(last_poll "$debug")
}
# adjusted_to IMAGE CPUS [SINCE_MS]: the game is pinned to processor 0, then
# ends on CPUS, within a minute (the first poll alone may take 10 s).
adjusted_to() { wait_adjustment "${watch_of[$1]}" "$2" 60 "${3:-0}"; }
# seen_gone IMAGE: waits until a poll after the game's end has found the
# watched game not running. Until then a game that starts, this one or the
# other, counts as the run already handled and is not adjusted.
seen_gone() {
  wait_poll_saying "$debug" "${ended_after[$1]}" 'not running$' 30 ||
    fail "no poll found the game gone after $1 ended: $(tail -c 300 "$debug")"
}

# holds_default DIR: DIR/config.ini is the default one, byte for byte.
holds_default() { [[ -s $1/config.ini ]] && cmp -s <(default_config) "$1/config.ini"; }
# config_is DIR KEY=VALUE...: DIR/config.ini holds what write_config writes.
config_is() {
  local dir=$1
  shift
  write_config "$work" "$@" && cmp -s "$work/config.ini" "$dir/config.ini"
}

# all_threads_on PID LIST: every thread of PID may run on LIST alone.
all_threads_on() { [[ $(thread_cpus "$1") == "$2" ]]; }

# --- Screenshots ------------------------------------------------------------------

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
# keep_shot NAME GEOMETRY TO: a part of a screenshot kept as TO.png, for a
# reader of the artifacts; not a check.
keep_shot() {
  local out
  out=$(convert "$artifacts/$1.png" -crop "$2" +repage "$artifacts/$3.png" 2>&1) ||
    image_failed "cropping $2 of $1.png" "$out"
}

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
# around BOX: BOX with a margin of 12 pixels, for a screenshot kept.
around() { echo "$(($(box_w "$1") + 24))x$(($(box_h "$1") + 24))+$(($(box_x "$1") - 12))+$(($(box_y "$1") - 12))"; }
# colour_near FILE X Y #RRGGBB: the pixel's colour is within 8 of the one
# given in each of red, green and blue (what the screen shows may be a shade
# off); sets colour, as #RRGGBB.
colour_near() {
  local out i d want=${4#\#}
  colour=-
  out=$(convert "$1" -format "%[hex:p{$2,$3}]" info: 2>&1)
  [[ $out =~ ^[0-9A-Fa-f]{6} ]] || image_failed "reading the pixel $2,$3 of $(basename "$1")" "$out" || return
  colour="#${out:0:6}"
  for i in 0 2 4; do
    d=$((16#${colour:$((i + 1)):2} - 16#${want:$i:2}))
    ((d >= -8 && d <= 8)) || return 1
  done
}
click() {
  xdotool mousemove "$1" "$2" click 1
  sleep 0.3
}

# --- The tray icon and its menu ---------------------------------------------

# orange_in FILE: sets orange, the box of the icon's colour in the taskbar
# (0x0+... when there is none): processor 0's orange core.
orange_in() {
  orange=$(convert "$1" -crop "$taskbar" +repage -fuzz 12% -fill lime -opaque "$icon_orange" \
    -fuzz 0 -fill black +opaque lime -format '%@' info: 2>"$work/convert.err")
  [[ $orange =~ ^[0-9]+x[0-9]+\+[0-9]+\+[0-9]+$ ]] ||
    image_failed "looking for the icon in $(basename "$1")" "$orange $(cat "$work/convert.err")"
}
# icon_shown / icon_gone [NAME]: screenshot NAME (tray-icon, no-icon) shows
# the icon, or none.
icon_shown() {
  shot "${1:-tray-icon}" && orange_in "$artifacts/${1:-tray-icon}.png" || return
  [[ $orange =~ ^[1-9][0-9]*x[1-9] && $(box_w "$orange") -lt 20 ]]
}
icon_gone() {
  shot "${1:-no-icon}" && orange_in "$artifacts/${1:-no-icon}.png" || return
  [[ ! $orange =~ ^[1-9] ]]
}
# find_tray_icon: waits for the icon and sets icon_x, icon_y (its centre).
find_tray_icon() {
  wait_until 30 icon_shown || return 1
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
# the menu; sets menu_box and menu_x, menu_y, menu_h, and finds its items.
# The screen with the open menu is menu-open.png. Needs find_tray_icon.
open_tray_menu() {
  shot tray-icon || return # what the screen shows without the menu
  xdotool mousemove "$icon_x" "$icon_y" click "${1:-1}"
  wait_until 10 menu_seen || return
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
  local rows separators top1 bottom1 top2 bottom2
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
  read -r top1 bottom1 top2 bottom2 <<<"$(tr '\n' ' ' <<<"$separators")"
  item_close=$((menu_y + top1 / 2))
  item_options=$((menu_y + bottom1 + (top2 - bottom1) / 4))
  item_info=$((menu_y + bottom1 + (top2 - bottom1) * 3 / 4))
  item_exit=$((menu_y + (bottom2 + menu_h) / 2))
}
click_menu_item() {
  local y=item_$1
  xdotool mousemove $((menu_x + 30)) "${!y}" click 1
}
# choose_from_tray ITEM: opens the menu and chooses the item (close,
# options, info, exit).
choose_from_tray() {
  open_tray_menu || return
  click_menu_item "$1"
}

# --- The options dialog -------------------------------------------------------

# The screen above the taskbar (where the dialog gets a button).
above_taskbar="${screen_w}x740+0+0"

# The dialog's client area in pixels, worked out by hand from its design
# (4215 x 4005 twips; 1440 twips to the inch, rounded half away from zero) at
# 96 dpi and at 144 dpi (a laptop at 150 %), where one test opens it.
dialog_at_dpi() {
  dpi=$1
  case $dpi in
    96) client_w=281 client_h=267 ;;  # 4215 / 15, 4005 / 15
    144) client_w=422 client_h=401 ;; # 421.5 and 400.5, rounded up
  esac
}
dialog_at_dpi 96
# What the tests click, at 96 dpi (15 twips to a pixel): the middle of each
# control, in pixels from the client area's top left corner (dialog_x,
# dialog_y, set by find_dialog).
cpu_x() { echo $((dialog_x + 60)); }              # column 1: 480 + 855 / 2 twips
cpu_y() { echo $((dialog_y + 86 + 24 * $1)); }    # CPU N: 1200 + 360 N + 195 / 2
save_x() { echo $((dialog_x + 140)); }            # "Close and Save": 1260 + 1695 / 2
save_y() { echo $((dialog_y + 250)); }            # 3600 + 315 / 2
game_list_x() { echo $((dialog_x + 176)); }          # the game list: 1320 + 2655 / 2
game_list_y() { echo $((dialog_y + 16)); }           # 90 + 315 / 2
online_box_x() { echo $((dialog_x + 22)); }           # the online box's square: 240, and 6 more
online_box_y() { echo $((dialog_y + 216)); }          # 3120 + 255 / 2
save() { click "$(save_x)" "$(save_y)"; }

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
# open_options: "   Options" from the tray, with no window of the program
# shown; the dialog shows (options-open.png).
open_options() {
  choose_from_tray options || return 1
  wait_until 10 dialog_seen options-open
}
# find_dialog: the dialog on the screen (options-open.png), its client area
# as large as the design at $dpi makes it (a few looks: a screenshot may
# catch it half painted). Sets box (its outer rectangle), client (the client
# area: what has the dialog's colour inside it), dialog_x and dialog_y (its
# corner) and dialog_area (the dialog with a margin, for screenshots).
find_dialog() {
  client=none
  dialog_found() {
    shot options-open && changed_box "$artifacts/empty-screen.png" "$artifacts/options-open.png" "$above_taskbar" || return
    box=$found_box
    client=$(convert "$artifacts/options-open.png" -crop "$box" +repage -fuzz 3% -fill lime -opaque "#D0F1FF" \
      -fuzz 0 -fill black +opaque lime -format '%@' info: 2>"$work/convert.err")
    [[ $client =~ ^[0-9]+x[0-9]+\+[0-9]+\+[0-9]+$ ]] ||
      image_failed "looking for the dialog's colour in $box" "$client $(cat "$work/convert.err")" || return
    dialog_x=$(($(box_x "$box") + $(box_x "$client")))
    dialog_y=$(($(box_y "$box") + $(box_y "$client")))
    dialog_area=$(around "$box")
    [[ $(box_w "$client")x$(box_h "$client") == "${client_w}x${client_h}" ]]
  }
  wait_until 5 dialog_found
}
# dialog_centred: the dialog found is centred on the screen.
dialog_centred() {
  local centre_x=$(($(box_x "$box") + $(box_w "$box") / 2)) centre_y=$(($(box_y "$box") + $(box_h "$box") / 2))
  ((centre_x >= screen_w / 2 - 1 && centre_x <= screen_w / 2 + 1 && centre_y >= screen_h / 2 - 1 && centre_y <= screen_h / 2 + 1))
}
# close_window BOX: the close button at the right end of a title bar.
close_window() { click $(($(box_x "$1") + $(box_w "$1") - 12)) $(($(box_y "$1") + 11)); }
