#!/usr/bin/env bash
# End-to-end tests of what the options dialog shows and keeps, under Wine:
# an untouched save over an empty Game, Options after config.ini was deleted,
# the online box's clicks, the processor boxes after the close button, and
# the dialog at 144 dpi. Clicks at places taken from the dialog's layout
# (lib.sh); the settings file and the stand-in game's processors are read
# from outside.
#
#   tests/e2e/wine/options_in_force.sh BUILD_DIR
#
# Screenshots in BUILD_DIR/e2e-artifacts: online-box-0.png, -1.png, -2.png
# (the online box as opened, after one click, after two), boxes-saved.png and
# boxes-reopened.png (the dialog before its save, and loaded anew after its
# close button), options-dialog-144dpi.png.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
e2e_screen "$0" "${1:?usage: options_in_force.sh BUILD_DIR}"
e2e_setup "$1" keep
e2e_prefix

echo "--- What the options dialog shows and keeps ---"
if one_processor; then
  skip "what the options dialog shows and keeps" "only one processor to run on: there is nothing to spread"
  e2e_summary "Options in force under Wine"
  exit
fi
dir=$(new_dir in-force SupremeCommander.exe Idle.exe)
start_in_desktop "$dir" Idle.exe # holds the desktop
wait_for 30 running Idle.exe || fatal "the Wine desktop did not start"
sleep 2
config() { printf '%s\r\n' "[Config]" "InitializeDelay=$1" "OnlineEnabled=1" "CPUs=All" "Game=$2" "${@:3}"; }
# start_program: Tavrolin.exe started and its icon shown (startup has ended).
start_program() {
  start_in_desktop "$dir" Tavrolin.exe
  wait_for 60 running Tavrolin.exe && find_tray_icon
}
exit_program() {
  choose_from_tray exit && wait_for 10 not_running Tavrolin.exe
}
# glyph N X Y: the square of a check box whose left top corner is at X,Y in
# the design (twips, inside the client area), in screen pixels.
glyph() { echo "$((14 * dpi / 96))x$(px 195)+$((dialog_x + $(px "$1")))+$((dialog_y + $(px "$2")))"; }
online_glyph() { glyph 240 $((3120 + 30)); }
cpu0_glyph() { glyph $((240 + 240)) $((600 + 600)); }

# --- An empty Game saved untouched: the next start appends nothing ---------------
config 30 "" >"$dir/config.ini"
start_program || fatal "Tavrolin.exe did not start"
if cmp -s <(config 30 "" "Game=0") "$dir/config.ini"; then
  pass "a start over an empty Game appends Game=0"
else
  fail "config.ini after a start over an empty Game: $(tr '\r\n' '| ' <"$dir/config.ini")"
fi
shot empty-screen || fatal "no screenshot" # what dialog_seen and dialog_gone compare with
open_options || fatal "\"   Options\" showed no dialog"
find_dialog || fatal "the dialog was not found"
save
wait_for 10 dialog_gone || fail "the dialog is still shown after saving"
if cmp -s <(config 30 0 "Game=0") "$dir/config.ini"; then
  pass "an untouched save writes the game shown, Game=0, over the empty one"
else
  fail "config.ini after an untouched save: $(tr '\r\n' '| ' <"$dir/config.ini")"
fi
cp "$dir/config.ini" "$work/saved.ini"
exit_program || fatal "\"    Exit\" did not end the program"
start_program || fatal "Tavrolin.exe did not start again"
cmp -s "$work/saved.ini" "$dir/config.ini" && pass "and the next start appends nothing" ||
  fail "the next start changed config.ini: $(tr '\r\n' '| ' <"$dir/config.ini")"

# --- Options after config.ini was deleted: the default file, the default delay ----
rm "$dir/config.ini"
open_options || fatal "\"   Options\" showed no dialog"
if cmp -s <(default_config) "$dir/config.ini"; then
  pass "\"   Options\" after config.ini was deleted writes the default file byte for byte"
else
  fail "config.ini written by \"   Options\": $(od -c "$dir/config.ini" 2>&1 | head -n 5)"
fi
cp "$artifacts/options-open.png" "$artifacts/first-opening.png"
start_game "$dir" SupremeCommander.exe --threads 4 || fatal "the stand-in game did not start"
game_started=$(now_ms)
all_cpus=$(thread_cpus "$(pid_of SupremeCommander.exe)")

# --- Meanwhile: two clicks on the online box bring it back ------------------------
# The pointer rests on the box for every look: the theme draws a box under the
# pointer otherwise.
xdotool mousemove "$(check2_x)" "$(check2_y)"
sleep 0.5
for clicks in 0 1 2; do
  ((clicks == 0)) || click "$(check2_x)" "$(check2_y)"
  shot "online-$clicks" || fatal "no screenshot"
  crop_shot "online-$clicks" "$dialog_area" "online-box-$clicks"
done
if pixels_changed "$artifacts/online-0.png" "$artifacts/online-1.png" "$(online_glyph)" && ((changed > 10)) &&
  pixels_changed "$artifacts/online-0.png" "$artifacts/online-2.png" "$(online_glyph)" && ((changed < 3)); then
  pass "one click on the ticked online box unticks it, the second ticks it again (online-box-0, -1, -2.png)"
else
  fail "the online box after one and two clicks: ${changed:-?} pixels differ (online-box-0, -1, -2.png)"
fi
close_dialog # unloads it; saves nothing
wait_for 10 dialog_gone || fail "the close button left the dialog shown"

# The delay the default file holds: the poll sees the game within 10 s, the
# adjustment follows 30 s later.
if wait_adjustment "${watch_of[SupremeCommander.exe]}" "$all_cpus" 120 &&
  ((pinned_at - game_started >= 30000)); then
  pass "the game is adjusted after the default delay ($((pinned_at - game_started)) ms after its start)"
else
  fail "the game was not adjusted after 30 s: pinned_at=$pinned_at, game started at $game_started"
fi
stop SupremeCommander.exe

# --- Untick CPU 0, save, close, open again: the boxes show the saved selection -----
config 1 0 >"$dir/config.ini" # a quick adjustment below
open_options || fatal "\"   Options\" showed no dialog"
click "$(cpu_x)" "$(cpu_y 0)"
click "$(check2_x)" "$(check2_y)" # once: unticked
shot boxes || fatal "no screenshot"
crop_shot boxes "$dialog_area" boxes-saved
save
wait_for 10 dialog_gone || fail "the dialog is still shown after saving"
grep -q $'^OnlineEnabled=0\r$' "$dir/config.ini" && pass "one click on the ticked online box saves OnlineEnabled=0" ||
  fail "config.ini after unticking the online box: $(tr '\r\n' '| ' <"$dir/config.ini")"
open_options || fatal "\"   Options\" showed no dialog"
close_dialog
wait_for 10 dialog_gone || fail "the close button left the dialog shown"
open_options || fatal "\"   Options\" showed no dialog after the close button"
crop_shot options-open "$dialog_area" boxes-reopened
if pixels_changed "$artifacts/boxes.png" "$artifacts/options-open.png" "$(cpu0_glyph)" && ((changed < 3)) &&
  pixels_changed "$artifacts/first-opening.png" "$artifacts/options-open.png" "$(cpu0_glyph)" && ((changed > 10)); then
  pass "loaded anew after its close button, the dialog shows CPU 0 unticked, as saved (boxes-saved, boxes-reopened.png)"
else
  fail "CPU 0's box after the close button: ${changed:-?} pixels differ (boxes-saved, boxes-reopened.png)"
fi
save # untouched: the selection stays
wait_for 10 dialog_gone || fail "the dialog is still shown after saving"
sleep_past_poll # the watcher has seen the last game gone
without_cpu0=$(sed -E 's/^0-1$/1/; s/^0-/1-/' <<<"$all_cpus")
start_game "$dir" SupremeCommander.exe --threads 4 || fatal "the stand-in game did not start"
if adjusted_to SupremeCommander.exe "$without_cpu0"; then
  pass "and an untouched save keeps it: the game ends on processors $without_cpu0"
else
  fail "after an untouched save the game ended on $(thread_cpus "$(pid_of SupremeCommander.exe)" | tr '\n' ' ')"
fi
stop SupremeCommander.exe

# --- The dialog at 144 dpi (a laptop at 150 %) ------------------------------------
exit_program || fatal "\"    Exit\" did not end the program"
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 ||
  fatal "could not set 144 dpi"
default_config >"$dir/config.ini" # the dialog as a new user sees it
start_program || fatal "Tavrolin.exe did not start at 144 dpi"
shot empty-screen || fatal "no screenshot"
open_options || fatal "\"   Options\" showed no dialog at 144 dpi"
set_dpi 144
if find_dialog && dialog_centred; then
  pass "at 144 dpi the dialog opens centred ($box), client area ${client_w}x${client_h}"
else
  fail "at 144 dpi the dialog is at ${box:-nowhere}: not centred, or not ${client_w} wide inside"
fi
crop_shot options-open "$dialog_area" options-dialog-144dpi &&
  pass "screenshot: e2e-artifacts/options-dialog-144dpi.png"
running Tavrolin.exe && pass "Tavrolin.exe runs on" || fail "Tavrolin.exe has ended"
[[ -e $dir/ErrorLog.txt ]] && fail "ErrorLog.txt appeared: $(cat "$dir/ErrorLog.txt")" ||
  pass "no ErrorLog.txt"

e2e_summary "Options in force under Wine"
