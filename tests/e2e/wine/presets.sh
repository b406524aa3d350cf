#!/usr/bin/env bash
# CPUs=LargeCache through Tavrolin.exe under Wine, which builds the level-3
# cache entries of GetLogicalProcessorInformationEx from sysfs: processor 0's
# and 1's cache files faked in a private mount namespace (96 MB on processor
# 1 alone, 32 MB on processor 0), the whole script in a private PID namespace
# too (its wineserver and programs, and no other script's games). Root only.
# - the stand-in game ends on processor 1, the final line names the preset;
# - the options dialog shows CPU 1 alone ticked;
# - an untouched "Close and Save" keeps config.ini's bytes (CPUs=LargeCache,
#   then the default file);
# - CPU 0 ticked and saved writes CPUs=All, and a restart shows both ticked.
#
#   tests/e2e/wine/presets.sh BUILD_DIR     (e.g. build/win64; about 20 s)
#
# Screenshots in BUILD_DIR/e2e-artifacts/presets: large-cache.png and
# after-restart.png, the dialog as it opened.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
e2e_screen "$0" "${1:?usage: presets.sh BUILD_DIR}"
# Once more in namespaces of its own: the fake cache and the prefix's
# wineserver stay inside, and wine_pid sees no other script's programs.
if [[ -z ${TAVROLIN_E2E_NAMESPACES:-} ]] && unshare -m --pid --fork --mount-proc true 2>/dev/null; then
  TAVROLIN_E2E_NAMESPACES=1 exec unshare -m --pid --fork --mount-proc "$0" "$@"
fi
wine_begin "The CPUs presets under Wine" "$1"
l3=$(grep -lx 3 /sys/devices/system/cpu/cpu0/cache/index*/level 2>/dev/null | head -n 1)
why=
[[ -z $l3 ]] && why="no level-3 cache to fake"
# What it expects (CPU 1 alone, CPU 0 ticked making All) needs these two.
[[ $all_cpus == 0-1 ]] || why="made for processors 0 and 1, here $all_cpus"
[[ -z ${TAVROLIN_E2E_NAMESPACES:-} ]] && why="no private mount and PID namespace (not root?)"
[[ -z $why ]] || {
  skip "CPUs=LargeCache under Wine" "$why"
  e2e_summary
}

# Before any program of the prefix starts: each reads them as it starts.
mkdir -p "$work/fake"
printf '32768K\n' >"$work/fake/size0" && printf '0\n' >"$work/fake/list0" && printf '1\n' >"$work/fake/map0"
printf '98304K\n' >"$work/fake/size1" && printf '1\n' >"$work/fake/list1" && printf '2\n' >"$work/fake/map1"
for n in 0 1; do
  for f in size shared_cpu_list shared_cpu_map; do
    mount --bind "$work/fake/${f/shared_cpu_/}$n" "/sys/devices/system/cpu/cpu$n/cache/$(basename "$(dirname "$l3")")/$f" ||
      fatal "could not fake processor $n's level-3 $f"
  done
done

dir=$(new_dir presets SupremeCommander.exe Idle.exe)
wine_desktop "$dir"
config_text() { tr '\r\n' '| ' <"$dir/config.ini" 2>&1; }
# ticked FILE: the processor boxes ticked on a screenshot of the dialog, as
# "0 1": those whose square (14 x 13 pixels, from 480 and 1200 + 360 N
# twips) holds a dark tick inside its frame; an empty one is white there.
ticked() {
  local n dark list=''
  for n in 0 1; do
    dark=$(convert "$1" -crop "10x9+$((dialog_x + 34))+$((dialog_y + 82 + 24 * n))" +repage -colorspace gray \
      -threshold 50% -negate -format '%[fx:round(mean*w*h)]' info: 2>"$work/convert.err") ||
      image_failed "reading CPU $n's box" "$(cat "$work/convert.err")" || return
    ((dark > 5)) && list+=${list:+ }$n
  done
  echo "$list"
}
# shows_ticked NAME LIST: the dialog opened from the tray (its screenshot kept
# as NAME.png) ticks the processor boxes LIST and no other; sets shown.
# A few looks: a screenshot may catch the boxes not yet painted.
shows_ticked() {
  local want=$2 rc=0
  open_options && find_dialog || fatal "\"   Options\" showed no dialog"
  boxes_as_wanted() { shot options-open && shown=$(ticked "$artifacts/options-open.png") && [[ $shown == "$want" ]]; }
  wait_until 5 boxes_as_wanted || rc=$?
  keep_shot options-open "$dialog_area" "$1"
  return $rc
}
# saved_untouched: "Close and Save" on the open dialog, untouched, leaves
# config.ini's bytes as they were.
saved_untouched() {
  cp "$dir/config.ini" "$work/before.ini"
  save
  wait_until 10 dialog_gone || fail "the dialog is still shown after saving"
  cmp -s "$work/before.ini" "$dir/config.ini" || { echo "config.ini now: $(config_text)" && return 1; }
}

# --- The game on the large cache --------------------------------------------------
write_config "$dir" InitializeDelay=1 OnlineEnabled=1 CPUs=LargeCache Game=0
start_tavrolin "$dir" && find_tray_icon || fatal "Tavrolin.exe did not start"
shot empty-screen || fatal "no screenshot" # what dialog_seen and dialog_gone compare with
start_game "$dir" SupremeCommander.exe --threads 3 || fatal "the stand-in game did not start"
if adjusted_to SupremeCommander.exe 1 && wait_until 10 debug_line "$debug" "final: " &&
  debug_line "$debug" "final: SupremeCommander.exe \\(PID [0-9]+\\) on processors 1 \\(LargeCache\\)"; then
  pass "CPUs=LargeCache ends the game on processor 1, the 96 MB cache's; the final line names the preset"
else
  fail "CPUs=LargeCache: the game on $(thread_cpus "${game_pid[SupremeCommander.exe]}"); $(grep -ao 'final: [^"\\]*' "$debug")"
fi
end_game SupremeCommander.exe

# --- The dialog shows it; untouched saves change no byte ----------------------------
shows_ticked large-cache 1 && pass "the options dialog shows CPU 1 alone ticked (large-cache.png)" ||
  fail "with CPUs=LargeCache in force the dialog ticks CPUs '$shown' (large-cache.png)"
check "an untouched \"Close and Save\" keeps config.ini with CPUs=LargeCache byte for byte" saved_untouched
default_config >"$dir/config.ini"
open_options || fatal "\"   Options\" showed no dialog"
check "and the default config.ini byte for byte" saved_untouched

# --- CPU 0 ticked and saved: All, in force after a restart ---------------------------
write_config "$dir" InitializeDelay=1 OnlineEnabled=1 CPUs=LargeCache Game=0
open_options || fatal "\"   Options\" showed no dialog"
click "$(cpu_x)" "$(cpu_y 0)"
save
wait_until 10 dialog_gone || fail "the dialog is still shown after saving"
grep -q $'^CPUs=All\r$' "$dir/config.ini" && pass "CPU 0 ticked beside CPU 1 saves CPUs=All" ||
  fail "config.ini after ticking CPU 0: $(config_text)"
end_tavrolin
start_tavrolin "$dir" && find_tray_icon || fatal "Tavrolin.exe did not start again"
shot empty-screen || fatal "no screenshot"
shows_ticked after-restart "0 1" && pass "after a restart the dialog shows the saved choice, both CPUs ticked (after-restart.png)" ||
  fail "after a restart the dialog ticks CPUs '$shown' (after-restart.png)"
[[ -e $dir/ErrorLog.txt ]] && fail "ErrorLog.txt appeared: $(cat "$dir/ErrorLog.txt")" || pass "no ErrorLog.txt"
end_tavrolin
e2e_summary
