#!/usr/bin/env bash
# End-to-end tests of the options dialog and the info window under Wine: the
# tray menu's "   Options" and "      Info", clicks at the dialog's controls
# at 96 dpi, the settings file and the stand-in games' processors read from
# outside. Part of run.sh; alone:
#
#   tests/e2e/wine/options.sh BUILD_DIR
if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -u
  source "$(dirname "$0")/lib.sh"
  e2e_screen "$0" "${1:?usage: options.sh BUILD_DIR}"
  wine_begin "Options and info under Wine" "$1"
  one_processor && skip "the options dialog and the info window" "only one processor to run on" && e2e_summary
  wine_desktop "$(new_dir desktop Idle.exe)"
fi
echo "--- The options dialog and the info window ---"
dir=$(new_dir options SupremeCommander.exe ForgedAlliance.exe)
default_config >"$dir/config.ini"
start_tavrolin "$dir" || fatal "Tavrolin.exe did not start"
find_tray_icon || fatal "no tray icon appeared"
shot empty-screen || fatal "no screenshot" # what dialog_seen and dialog_gone compare with

# options_again: "   Options" chosen while the dialog is shown: the menu
# opens over it and closes. What the dialog shows then, the next save tells.
options_again() {
  choose_from_tray options && wait_until 10 menu_gone || fail "\"   Options\" over the open dialog: the menu did not open and close"
}
config_text() { tr '\r\n' '| ' <"$dir/config.ini" 2>&1; }

# --- The dialog, as it first opens ---------------------------------------------
open_options || fatal "\"   Options\" showed no dialog"
find_dialog && dialog_centred && pass "the dialog opens centred ($box), its client area ${client_w}x${client_h} as designed" ||
  fail "the dialog is at ${box:-nowhere}, its client area $client: not centred, or not ${client_w}x${client_h}"
[[ -n ${dialog_x:-} ]] || fatal "the dialog was not found"
# A screenshot may catch the dialog half painted: a few looks.
dialog_colour() { shot options-colour && colour_near "$artifacts/options-colour.png" $((dialog_x + 4)) $((dialog_y + client_h - 4)) "#D0F1FF"; }
wait_until 5 dialog_colour && pass "the dialog's colour is RGB(208,241,255) ($colour)" ||
  fail "the dialog's colour is $colour"
keep_shot options-open "$dialog_area" options-dialog

# A hand-edited delay the list does not hold: "   Options" again shows it and
# applies it at once (1 s keeps the adjustments below quick).
write_config "$dir" InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=0
options_again

# --- Untick CPU 0 and save: the next adjustment ends on processor 1 -------------
click "$(cpu_x)" "$(cpu_y 0)"
save
wait_until 10 dialog_gone && pass "\"Close and Save\" hides the dialog" || fail "the dialog is still shown after \"Close and Save\""
# A box changed: CPUs is the ticked list (two processors here, as below).
config_is "$dir" InitializeDelay=1 OnlineEnabled=1 CPUs=1 Game=0 &&
  pass "config.ini holds the keys saved (OnlineEnabled=1, Game=0, InitializeDelay=1: the delay read again; CPUs=1, the box changed)" ||
  fail "config.ini after saving: $(config_text)"
start_game "$dir" SupremeCommander.exe --threads 4 || fatal "the stand-in game did not start"
adjusted_to SupremeCommander.exe 1 && pass "the next adjustment ends with every thread on processor 1 alone" ||
  fail "with CPU 0 unticked the game ended on $(thread_cpus "${game_pid[SupremeCommander.exe]}")"
end_game SupremeCommander.exe

# --- The info window ---------------------------------------------------------------
choose_from_tray info || fail "no menu for \"      Info\""
if wait_until 10 dialog_seen info-open && changed_box "$artifacts/empty-screen.png" "$artifacts/info-open.png" "$above_taskbar"; then
  info=$found_box
  pass "\"      Info\" shows the info window ($info)"
  keep_shot info-open "$(around "$info")" info-window
  pixels_changed "$artifacts/empty-screen.png" "$artifacts/info-open.png" "$taskbar" && ((changed < 50)) &&
    pass "the info window has no taskbar button" || fail "the taskbar changed when the info window opened"
  info_colour() { shot info-colour && colour_near "$artifacts/info-colour.png" $(($(box_x "$info") + $(box_w "$info") / 2)) $(($(box_y "$info") + $(box_h "$info") - 8)) "#BDEBFF"; }
  wait_until 5 info_colour && pass "the info window's colour is RGB(189,235,255) ($colour)" ||
    fail "the info window's colour near its bottom is $colour"
  close_window "$info"
  wait_until 10 dialog_gone && pass "its close button closes it" || fail "the info window did not close"
else
  fail "\"      Info\" showed no window"
fi

# --- Tick nothing and save: the warning ---------------------------------------------
# (With the usual delay for the screenshot; the next opening sets 1 s again.)
write_config "$dir" InitializeDelay=30 OnlineEnabled=1 CPUs=All Game=0
open_options || fatal "\"   Options\" showed no dialog"
click "$(cpu_x)" "$(cpu_y 1)" # CPU 1; CPU 0 is still unticked
shot before-warning || fatal "no screenshot"
save
warning_seen() {
  shot warning || return
  pixels_changed "$artifacts/before-warning.png" "$artifacts/warning.png" "$above_taskbar" || return
  ((changed > 3000))
}
# The message box, above the dialog's button (which takes the focus).
above_button="${client_w}x233+${dialog_x}+${dialog_y}"
if wait_until 10 warning_seen && changed_box "$artifacts/before-warning.png" "$artifacts/warning.png" "$above_button"; then
  warn=$found_box
  pass "saving with no box ticked shows the warning ($warn)"
  keep_shot warning "$dialog_area" options-warning
  # Its one button, OK, at the middle of its bottom.
  click $(($(box_x "$warn") + $(box_w "$warn") / 2)) $(($(box_y "$warn") + $(box_h "$warn") - 23))
  wait_until 10 dialog_gone && pass "OK dismisses the warning and the dialog hides" ||
    fail "the warning or the dialog is still shown after OK"
else
  fail "no warning appeared"
  save
fi
grep -q $'^InitializeDelay=30\r$' "$dir/config.ini" && pass "the save wrote the delay shown, 30" ||
  fail "config.ini after the warning: $(config_text)"

# --- Picking the other game acts at once, without saving --------------------------
write_config "$dir" InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=0
seen_gone SupremeCommander.exe
open_options || fatal "\"   Options\" showed no dialog"
shot list-closed || fatal "no screenshot"
list_area="177x120+$((dialog_x + 88))+$((dialog_y + 27))" # below the game list
list_open() {
  shot list-open || return
  pixels_changed "$artifacts/list-closed.png" "$artifacts/list-open.png" "$list_area" || return
  ((changed > 200))
}
# pick_other_game: the game list's second entry (two of equal height: the
# second in the lower half).
pick_other_game() {
  click "$(game_list_x)" "$(game_list_y)"
  wait_until 10 list_open && changed_box "$artifacts/list-closed.png" "$artifacts/list-open.png" "$list_area" || return
  click "$(game_list_x)" $(($(box_y "$found_box") + $(box_h "$found_box") * 3 / 4))
}
if pick_other_game; then
  start_game "$dir" ForgedAlliance.exe --threads 4 || fatal "the stand-in game did not start"
  # The last save ticked CPU 1 again: the selection is processor 1.
  adjusted_to ForgedAlliance.exe 1 &&
    pass "after picking \"ForgedAlliance.exe\" the watcher adjusts it, unsaved (on processor 1: the repaired selection)" ||
    fail "ForgedAlliance.exe was not adjusted: $(thread_cpus "${game_pid[ForgedAlliance.exe]}")"
  grep -q $'^Game=0\r$' "$dir/config.ini" && pass "the file keeps Game=0 until a save" ||
    fail "config.ini changed without a save: $(config_text)"
  end_game ForgedAlliance.exe
else
  fail "the game list did not open"
fi

# --- config.ini deleted while the program runs, then the dialog saved --------------
# "   Options" again over the open dialog reads the file: the game picked and
# not saved gives way to its Game=0.
options_again
rm -f "$dir/config.ini"
save
wait_until 10 dialog_gone || fail "the dialog is still shown after saving"
config_is "$dir" OnlineEnabled=1 Game=0 InitializeDelay=1 &&
  pass "config.ini deleted, then saved: a new file with [Config], OnlineEnabled, Game, InitializeDelay in that order" ||
  fail "the new config.ini: $(config_text)"

# --- A config.ini the program cannot write ------------------------------------------
# Everything runs as root here, for whom neither the read-only attribute nor
# the permissions stop a write; the immutable flag does (ext4 and the like).
if chattr +i "$dir/config.ini" 2>/dev/null && ! (echo >>"$dir/config.ini") 2>/dev/null; then
  cp "$dir/config.ini" "$work/config-before.ini"
  open_options || fatal "\"   Options\" showed no dialog"
  # The other game, and processor 0 ticked beside processor 1, then save: a
  # final mask that differs from the pin and from what was saved before.
  pick_other_game || fail "the game list did not open"
  click "$(cpu_x)" "$(cpu_y 0)"
  save
  wait_until 10 dialog_gone || fail "the dialog is still shown after saving"
  cmp -s "$work/config-before.ini" "$dir/config.ini" && pass "an unwritable config.ini stays as it was after a save" ||
    fail "the unwritable config.ini changed: $(config_text)"
  seen_gone ForgedAlliance.exe
  start_game "$dir" ForgedAlliance.exe --threads 4 || fatal "the stand-in game did not start"
  adjusted_to ForgedAlliance.exe 0-1 &&
    pass "but the save changed the running program: ForgedAlliance.exe ends on processors 0 and 1, as saved (before: processor 1 alone)" ||
    fail "after the save ForgedAlliance.exe is on $(thread_cpus "${game_pid[ForgedAlliance.exe]}")"
  end_game ForgedAlliance.exe
  chattr -i "$dir/config.ini"
else
  fail "this file system cannot make config.ini unwritable (chattr +i); row not run"
fi
alive "$program" && pass "Tavrolin.exe runs on" || fail "Tavrolin.exe has ended"
[[ -e $dir/ErrorLog.txt ]] && fail "ErrorLog.txt appeared: $(cat "$dir/ErrorLog.txt")" || pass "no ErrorLog.txt"
end_tavrolin
[[ ${BASH_SOURCE[0]} == "$0" ]] && e2e_summary
