#!/usr/bin/env bash
# End-to-end tests of the options dialog and the info window under Wine: the
# tray menu's "   Options" and "      Info", clicks at places taken from the
# dialog's layout at 96 dpi, the settings file and the stand-in game's
# processors read from outside. Run by run.sh; alone:
#
#   tests/e2e/wine/options.sh BUILD_DIR
#
# Screenshots: options-dialog.png, options-warning.png, info-window.png in
# BUILD_DIR/e2e-artifacts.

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -u
  here=$(cd "$(dirname "$0")" && pwd)
  source "$here/lib.sh"
  e2e_screen "$0" "${1:?usage: options.sh BUILD_DIR}"
  e2e_setup "$1" keep
  e2e_prefix
  options_alone=1
else
  options_alone=0
fi

echo "--- The options dialog and the info window ---"
if one_processor; then # run.sh skips this file before it comes here
  skip "the options dialog and the info window" "only one processor to run on: there is nothing to spread"
  e2e_summary "Options and info under Wine"
  exit
fi

# Nothing of the earlier tests may run on: another copy would keep ours out,
# and only our stand-ins may be the games.
stop Tavrolin.exe
stop SupremeCommander.exe
stop ForgedAlliance.exe
dir=$(new_dir options SupremeCommander.exe ForgedAlliance.exe Idle.exe)
if ! running Idle.exe; then
  start_in_desktop "$dir" Idle.exe # holds the desktop
  wait_for 30 running Idle.exe || fatal "the Wine desktop did not start"
  sleep 2
fi
default_config >"$dir/config.ini"
start_in_desktop "$dir" Tavrolin.exe
wait_for 60 running Tavrolin.exe || fatal "Tavrolin.exe is not running"
find_tray_icon || fatal "no tray icon appeared"

shot empty-screen || fatal "no screenshot" # what dialog_seen and dialog_gone compare with

# --- The dialog, as it first opens ---------------------------------------------
open_options || fatal "\"   Options\" showed no dialog"
find_dialog || fatal "the dialog was not found"
if dialog_centred; then
  pass "the dialog opens centred ($box), client area ${client_w}x${client_h} at $dialog_x,$dialog_y"
else
  fail "the dialog is at $box: not centred, or not ${client_w} wide inside"
fi
# A screenshot may catch the dialog half painted: a few looks.
dialog_colour() { shot options-colour && colour_near "$artifacts/options-colour.png" $((dialog_x + 4)) $((dialog_y + client_h - 4)) "#D0F1FF"; }
wait_for 5 dialog_colour && pass "the dialog's colour is RGB(208,241,255) ($colour)" ||
  fail "the dialog's colour is $colour"
crop_shot options-open "$dialog_area" options-dialog && pass "screenshot: e2e-artifacts/options-dialog.png"

# A hand-edited delay the list does not hold: the next opening shows it and
# applies it at once (1 s keeps the adjustments below quick).
printf '%s\r\n' "[Config]" "InitializeDelay=1" "OnlineEnabled=1" "CPUs=All" "Game=0" >"$dir/config.ini"
open_options || fail "\"   Options\" while the dialog is open showed no dialog"

# --- Untick CPU 0 and save: the next adjustment ends on processor 1 -------------
click "$(cpu_x)" "$(cpu_y 0)"
shot unticked
save
if wait_for 10 dialog_gone; then
  pass "\"Close and Save\" hides the dialog"
else
  fail "the dialog is still shown after \"Close and Save\""
fi
# The box changed: CPUs is the ticked list (two processors here, as below).
if cmp -s <(printf '%s\r\n' "[Config]" "InitializeDelay=1" "OnlineEnabled=1" "CPUs=1" "Game=0") \
  "$dir/config.ini"; then
  pass "config.ini holds the keys saved (OnlineEnabled=1, Game=0, InitializeDelay=1, CPUs=1)"
else
  fail "config.ini after saving: $(tr '\r\n' '| ' <"$dir/config.ini")"
fi
start_game "$dir" SupremeCommander.exe --threads 4 || fatal "the stand-in game did not start"
if adjusted_to SupremeCommander.exe 1; then
  pass "the next adjustment ends with every thread on processor 1 alone"
else
  fail "with CPU 0 unticked the game ended on $(thread_cpus "$(pid_of SupremeCommander.exe)" | tr '\n' ' ')"
fi
stop SupremeCommander.exe

# --- The info window ---------------------------------------------------------------
choose_from_tray info || fail "no menu for \"      Info\""
if wait_for 10 dialog_seen info-open && changed_box "$artifacts/empty-screen.png" "$artifacts/info-open.png" "$above_taskbar"; then
  box=$found_box
  crop_shot info-open "$(($(box_w "$box") + 24))x$(($(box_h "$box") + 24))+$(($(box_x "$box") - 12))+$(($(box_y "$box") - 12))" info-window &&
    pass "\"      Info\" shows the info window ($box); screenshot: e2e-artifacts/info-window.png"
  pixels_changed "$artifacts/empty-screen.png" "$artifacts/info-open.png" "$taskbar" && ((changed < 50)) &&
    pass "the info window has no taskbar button" || fail "the taskbar changed when the info window opened"
  info_colour() { shot info-colour && colour_near "$artifacts/info-colour.png" $(($(box_x "$box") + $(box_w "$box") / 2)) $(($(box_y "$box") + $(box_h "$box") - 8)) "#BDEBFF"; }
  wait_for 5 info_colour && pass "the info window's colour is RGB(189,235,255) ($colour)" ||
    fail "the info window's colour near its bottom is $colour"
  # Its close button: the top right corner of the title bar.
  click $(($(box_x "$box") + $(box_w "$box") - 12)) $(($(box_y "$box") + 11))
  wait_for 10 dialog_gone && pass "its close button closes it" || fail "the info window did not close"
else
  fail "\"      Info\" showed no window"
fi

# --- Tick nothing and save: the warning ---------------------------------------------
# (With the usual delay for the screenshot; the next opening sets 1 s again.)
printf '%s\r\n' "[Config]" "InitializeDelay=30" "OnlineEnabled=1" "CPUs=All" "Game=0" >"$dir/config.ini"
open_options || fatal "\"   Options\" showed no dialog"
click "$(cpu_x)" "$(cpu_y 1)" # CPU 1; CPU 0 is still unticked
shot before-warning || fatal "no screenshot"
sleep_past_poll # the watcher has seen the game gone
save
warning_seen() {
  shot warning || return
  pixels_changed "$artifacts/before-warning.png" "$artifacts/warning.png" "$above_taskbar" || return
  ((changed > 3000))
}
# The message box, above the dialog's button (which takes the focus).
above_button="${client_w}x$((3500 / 15))+${dialog_x}+${dialog_y}"
if wait_for 10 warning_seen && changed_box "$artifacts/before-warning.png" "$artifacts/warning.png" "$above_button"; then
  warn=$found_box
  crop_shot warning "$dialog_area" options-warning &&
    pass "saving with no box ticked shows the warning; screenshot: e2e-artifacts/options-warning.png"
  # Its one button, OK, at the middle of its bottom.
  click $(($(box_x "$warn") + $(box_w "$warn") / 2)) $(($(box_y "$warn") + $(box_h "$warn") - 23))
  wait_for 10 dialog_gone && pass "OK dismisses the warning and the dialog hides" ||
    fail "the warning or the dialog is still shown after OK"
else
  fail "no warning appeared"
  click "$(save_x)" "$(save_y)"
fi

# --- Picking the other game acts at once, without saving --------------------------
grep -q $'^InitializeDelay=30\r$' "$dir/config.ini" && pass "the save wrote the delay shown, 30" ||
  fail "config.ini after the warning: $(tr '\r\n' '| ' <"$dir/config.ini")"
printf '%s\r\n' "[Config]" "InitializeDelay=1" "OnlineEnabled=1" "CPUs=All" "Game=0" >"$dir/config.ini"
open_options || fatal "\"   Options\" showed no dialog"
shot list-closed || fatal "no screenshot"
click "$(combo1_x)" "$(combo1_y)"
list_open() {
  shot list-open || return
  pixels_changed "$artifacts/list-closed.png" "$artifacts/list-open.png" "$list_area" || return
  ((changed > 200))
}
list_area="$((2655 / 15))x120+$((dialog_x + 1320 / 15))+$((dialog_y + (90 + 315) / 15))"
if wait_for 10 list_open && changed_box "$artifacts/list-closed.png" "$artifacts/list-open.png" "$list_area"; then
  list=$found_box
  # Two entries of equal height: the second in the lower half.
  click "$(combo1_x)" $(($(box_y "$list") + $(box_h "$list") * 3 / 4))
  start_game "$dir" ForgedAlliance.exe --threads 4 || fatal "the stand-in game did not start"
  # The last save ticked CPU 1 again: the selection is processor 1.
  if adjusted_to ForgedAlliance.exe 1; then
    pass "after picking \"ForgedAlliance.exe\" the watcher adjusts it, unsaved (on processor 1: the repaired selection)"
  else
    fail "ForgedAlliance.exe was not adjusted: $(thread_cpus "$(pid_of ForgedAlliance.exe)" | tr '\n' ' ')"
  fi
  grep -q $'^Game=0\r$' "$dir/config.ini" && pass "the file keeps Game=0 until a save" ||
    fail "config.ini changed without a save: $(tr '\r\n' '| ' <"$dir/config.ini")"
else
  fail "the game list did not open"
fi
stop ForgedAlliance.exe

# --- config.ini deleted while the program runs, then the dialog saved --------------
open_options || fatal "\"   Options\" showed no dialog"
rm -f "$dir/config.ini"
save
wait_for 10 dialog_gone || fail "the dialog is still shown after saving"
if cmp -s <(printf '%s\r\n' "[Config]" "OnlineEnabled=1" "Game=0" "InitializeDelay=1") "$dir/config.ini"; then
  pass "config.ini deleted, then saved: a new file with [Config], OnlineEnabled, Game, InitializeDelay in that order"
else
  fail "the new config.ini: $(tr '\r\n' '| ' <"$dir/config.ini" 2>&1)"
fi

# --- A config.ini the program cannot write ------------------------------------------
# Everything runs as root here, for whom neither the read-only attribute nor
# the permissions stop a write; the immutable flag does (ext4 and the like).
if chattr +i "$dir/config.ini" 2>/dev/null && ! (echo >>"$dir/config.ini") 2>/dev/null; then
  cp "$dir/config.ini" "$work/config-before.ini"
  open_options || fatal "\"   Options\" showed no dialog"
  # Another game, and processor 0 ticked beside processor 1, then save: a
  # final mask that differs from the pin and from what was saved before.
  click "$(combo1_x)" "$(combo1_y)"
  wait_for 10 list_open && click "$(combo1_x)" $(($(box_y "$list") + $(box_h "$list") * 3 / 4))
  click "$(cpu_x)" "$(cpu_y 0)"
  sleep_past_poll # the watcher has seen the last game gone
  save
  wait_for 10 dialog_gone || fail "the dialog is still shown after saving"
  cmp -s "$work/config-before.ini" "$dir/config.ini" && pass "an unwritable config.ini stays as it was after a save" ||
    fail "the unwritable config.ini changed: $(tr '\r\n' '| ' <"$dir/config.ini")"
  start_game "$dir" ForgedAlliance.exe --threads 4 || fatal "the stand-in game did not start"
  if adjusted_to ForgedAlliance.exe 0-1; then
    pass "but the save changed the running program: ForgedAlliance.exe ends on processors 0 and 1, as saved (before: processor 1 alone)"
  else
    fail "after the save ForgedAlliance.exe is on $(thread_cpus "$(pid_of ForgedAlliance.exe)" | tr '\n' ' ')"
  fi
  stop ForgedAlliance.exe
  chattr -i "$dir/config.ini"
else
  fail "this file system cannot make config.ini unwritable (chattr +i); row not run"
fi
running Tavrolin.exe && pass "Tavrolin.exe runs on" || fail "Tavrolin.exe has ended"
[[ -e $dir/ErrorLog.txt ]] && fail "ErrorLog.txt appeared: $(cat "$dir/ErrorLog.txt")" ||
  pass "no ErrorLog.txt"

if ((options_alone)); then e2e_summary "Options and info under Wine"; fi
