#!/usr/bin/env bash
# End-to-end tests of what the options dialog shows and keeps, under Wine:
# an untouched save over an empty Game, Options after config.ini was deleted,
# the online box's clicks, the processor boxes after the close button, and
# the dialog at 144 dpi.
#
#   tests/e2e/wine/options_in_force.sh BUILD_DIR
#
# Screenshots in BUILD_DIR/e2e-artifacts/options_in_force: online-box-0.png,
# -1.png, -2.png (the online box as opened, after one click, after two),
# boxes-saved.png and boxes-reopened.png (the dialog before its save, and
# loaded anew after its close button), options-dialog-144dpi.png.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
e2e_screen "$0" "${1:?usage: options_in_force.sh BUILD_DIR}"
wine_begin "Options in force under Wine" "$1"
if one_processor; then
  skip "what the options dialog shows and keeps" "only one processor to run on: there is nothing to spread"
  e2e_summary
fi
dir=$(new_dir in-force SupremeCommander.exe Idle.exe)
wine_desktop "$dir"
# start_program: Tavrolin.exe started and its icon shown (startup has ended).
start_program() { start_tavrolin "$dir" && find_tray_icon; }
exit_program() { choose_from_tray exit && wait_until 10 not_alive "$program"; }
config_text() { tr '\r\n' '| ' <"$dir/config.ini" 2>&1; }
# The squares of the online box and of CPU 0's box, at 96 dpi: 14 x 13
# pixels from (240, 3150) and (480, 1200) twips in the client area.
online_glyph() { echo "14x13+$((dialog_x + 16))+$((dialog_y + 210))"; }
cpu0_glyph() { echo "14x13+$((dialog_x + 32))+$((dialog_y + 80))"; }

# --- An empty Game saved untouched: the next start appends nothing ---------------
# (A delay of 1 s, which the default file below must replace.)
write_config "$dir" InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=
start_program || fatal "Tavrolin.exe did not start"
config_is "$dir" InitializeDelay=1 OnlineEnabled=1 CPUs=All Game= Game=0 &&
  pass "a start over an empty Game appends Game=0" || fail "config.ini after a start over an empty Game: $(config_text)"
shot empty-screen || fatal "no screenshot" # what dialog_seen and dialog_gone compare with
open_options || fatal "\"   Options\" showed no dialog"
find_dialog || fatal "the dialog's client area is $client, not ${client_w}x${client_h}"
save
wait_until 10 dialog_gone || fail "the dialog is still shown after saving"
config_is "$dir" InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=0 Game=0 &&
  pass "an untouched save writes the game shown, Game=0, over the empty one" || fail "config.ini after an untouched save: $(config_text)"
cp "$dir/config.ini" "$work/saved.ini"
exit_program || fatal "\"    Exit\" did not end the program"
start_program || fatal "Tavrolin.exe did not start again"
cmp -s "$work/saved.ini" "$dir/config.ini" && pass "and the next start appends nothing" ||
  fail "the next start changed config.ini: $(config_text)"

# --- Options after config.ini was deleted: the default file, the default delay ----
# The program runs with a delay of 1 s.
rm "$dir/config.ini"
open_options || fatal "\"   Options\" showed no dialog"
cmp -s <(default_config) "$dir/config.ini" && pass "\"   Options\" after config.ini was deleted writes the default file byte for byte" ||
  fail "config.ini written by \"   Options\": $(od -c "$dir/config.ini" 2>&1 | head -n 5)"
cp "$artifacts/options-open.png" "$artifacts/first-opening.png"

# --- Meanwhile: two clicks on the online box bring it back ------------------------
# The pointer rests on the box for every look: the theme draws a box under the
# pointer otherwise.
xdotool mousemove "$(online_box_x)" "$(online_box_y)"
sleep 0.5
for clicks in 0 1 2; do
  ((clicks == 0)) || click "$(online_box_x)" "$(online_box_y)"
  shot "online-$clicks" || fatal "no screenshot"
  keep_shot "online-$clicks" "$dialog_area" "online-box-$clicks"
done
if pixels_changed "$artifacts/online-0.png" "$artifacts/online-1.png" "$(online_glyph)" && ((changed > 10)) &&
  pixels_changed "$artifacts/online-0.png" "$artifacts/online-2.png" "$(online_glyph)" && ((changed < 3)); then
  pass "one click on the ticked online box unticks it, the second ticks it again (online-box-0, -1, -2.png)"
else
  fail "the online box after one and two clicks: ${changed:-?} pixels differ (online-box-0, -1, -2.png)"
fi
close_window "$box" # unloads the dialog; saves nothing
wait_until 10 dialog_gone || fail "the close button left the dialog shown"
# The delay the default file holds, started by the poll that sees the game.
start_game "$dir" SupremeCommander.exe --threads 4 || fatal "the stand-in game did not start"
wait_poll_saying "$debug" 0 'SupremeCommander.exe running: delay of 30000 ms started$' 30 &&
  pass "the default delay is in force: $polled" || fail "no poll started the default delay of 30 s: $(tr -d '"' <"$debug" | tail -n 3)"
end_game SupremeCommander.exe

# --- Untick CPU 0, save, close, open again: the boxes show the saved selection -----
write_config "$dir" InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=0 # a quick adjustment below
open_options || fatal "\"   Options\" showed no dialog"
click "$(cpu_x)" "$(cpu_y 0)"
click "$(online_box_x)" "$(online_box_y)" # once: unticked
shot boxes || fatal "no screenshot"
keep_shot boxes "$dialog_area" boxes-saved
save
wait_until 10 dialog_gone || fail "the dialog is still shown after saving"
grep -q $'^OnlineEnabled=0\r$' "$dir/config.ini" && pass "one click on the ticked online box saves OnlineEnabled=0" ||
  fail "config.ini after unticking the online box: $(config_text)"
open_options || fatal "\"   Options\" showed no dialog"
close_window "$box"
wait_until 10 dialog_gone || fail "the close button left the dialog shown"
open_options || fatal "\"   Options\" showed no dialog after the close button"
keep_shot options-open "$dialog_area" boxes-reopened
if pixels_changed "$artifacts/boxes.png" "$artifacts/options-open.png" "$(cpu0_glyph)" && ((changed < 3)) &&
  pixels_changed "$artifacts/first-opening.png" "$artifacts/options-open.png" "$(cpu0_glyph)" && ((changed > 10)); then
  pass "loaded anew after its close button, the dialog shows CPU 0 unticked, as saved (boxes-saved, boxes-reopened.png)"
else
  fail "CPU 0's box after the close button: ${changed:-?} pixels differ (boxes-saved, boxes-reopened.png)"
fi
save # untouched: the selection stays
wait_until 10 dialog_gone || fail "the dialog is still shown after saving"
without_cpu0=$(sed -E 's/^0-1$/1/; s/^0-/1-/' <<<"$all_cpus")
seen_gone SupremeCommander.exe
start_game "$dir" SupremeCommander.exe --threads 4 || fatal "the stand-in game did not start"
adjusted_to SupremeCommander.exe "$without_cpu0" && pass "and an untouched save keeps it: the game ends on processors $without_cpu0" ||
  fail "after an untouched save the game ended on $(thread_cpus "${game_pid[SupremeCommander.exe]}")"
end_game SupremeCommander.exe

# --- The dialog at 144 dpi (a laptop at 150 %) ------------------------------------
exit_program || fatal "\"    Exit\" did not end the program"
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 ||
  fatal "could not set 144 dpi"
default_config >"$dir/config.ini" # the dialog as a new user sees it
start_program || fatal "Tavrolin.exe did not start at 144 dpi"
shot empty-screen || fatal "no screenshot"
open_options || fatal "\"   Options\" showed no dialog at 144 dpi"
dialog_at_dpi 144
find_dialog && dialog_centred && pass "at 144 dpi the dialog opens centred ($box), its client area ${client_w}x${client_h} as designed" ||
  fail "at 144 dpi the dialog is at ${box:-nowhere}, its client area $client: not centred, or not ${client_w}x${client_h}"
keep_shot options-open "$dialog_area" options-dialog-144dpi
alive "$program" && pass "Tavrolin.exe runs on" || fail "Tavrolin.exe has ended"
[[ -e $dir/ErrorLog.txt ]] && fail "ErrorLog.txt appeared: $(cat "$dir/ErrorLog.txt")" || pass "no ErrorLog.txt"
end_tavrolin
e2e_summary
