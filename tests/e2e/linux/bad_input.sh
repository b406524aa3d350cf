#!/usr/bin/env bash
# Bad input, row by row, through the real Linux program: damaged settings
# files and odd NUMBER_OF_PROCESSORS values. Every row: the program keeps
# running and ends cleanly, the values it uses are sound, a refused value is
# reported in ErrorLog.txt, and the settings file is not changed behind the
# user's back. Prints the results as a Markdown table, then "N passed, F
# failed, S skipped: NAMES"; the status is 1 when a row failed.
#
#   tests/e2e/linux/bad_input.sh [BUILD_DIR]    (default build/native)
set -u
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
linux_begin "Bad input through the Linux program" "${1:-$root/build/native}"
rows=()

# As another user when we are root, so that file permissions hold.
as_user=()
if [[ $(id -u) == 0 ]]; then
  as_user=(XDG_RUNTIME_DIR="$(new_runtime_dir nobody)" setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

record() { # record ROW RESULT OBSERVED
  rows+=("| $1 | $2 | $3 |")
  [[ $2 == pass ]] && pass "$1" || fail "$1: $3"
}

# start_and_stop DIR [ENV...]: runs the program until its startup line, then
# SIGTERM. Sets $line (the startup line), $rc (its status), $alive.
start_and_stop() {
  local dir=$1 pid
  shift
  alive=no line='' rc="no startup line"
  start_program "$dir" "$dir/stderr.txt" "$@" || return
  pid=$started
  sleep 0.2
  kill -0 "$pid" 2>/dev/null && alive=yes
  line=$(grep -o 'watching .*)' "$dir/stderr.txt" | head -1)
  stop_pid "$pid" && rc=$stop_rc || rc="still running"
}

# config_row NAME CONFIG EXPECTED_LINE REPORTS [EXPECTED_CONFIG [STARTS]]
# CONFIG is printf'd into config.ini, byte for byte what the row is about;
# EXPECTED_CONFIG defaults to CONFIG. The program starts STARTS times (default
# 1); the last start is checked, the file after all of them.
config_row() {
  local name=$1 config=$2 expected=$3 want=$4 after=${5-$2} starts=${6:-1} dir got i
  dir=$(new_program_dir)
  printf "$config" >"$dir/config.ini"
  for ((i = 0; i < starts; i++)); do start_and_stop "$dir"; done
  got=$(reports "$dir")
  if [[ $alive == yes && $rc == 0 && $line == "watching $expected" && $got == "$want" ]] &&
    cmp -s <(printf "$after") "$dir/config.ini"; then
    record "$name" pass "${line#watching }; reports: $got"
  else
    record "$name" FAIL "alive=$alive rc=$rc line='$line' reports=$got config=$(od -c "$dir/config.ini" | head -3 | tr -s ' ' | tr '\n' ' ')"
  fi
}

S='[Config]\r\n'
D='(delay 30000 ms, online play allowed)'
SC="SupremeCommander.exe"

# --- NUMBER_OF_PROCESSORS: needs a game to adjust ---------------------------
# Two rows run at a time, one watching each game, so that neither touches the
# other's game; the first two while the settings rows run. Each row ends on
# the program's word: its pin leaves the game alone, or its final step.
declare -A row_dir row_game row_watch row_prog
number_start() { # number_start SLOT VALUE|- GAME_INDEX
  local slot=$1 value=$2 game_index=$3 dir env_args=() image=SupremeCommander.exe
  [[ $game_index == 1 ]] && image=ForgedAlliance.exe
  dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=1 "Game=$game_index")
  [[ $value != - ]] && env_args=("NUMBER_OF_PROCESSORS=$value")
  start_game "$(new_game "$image")"
  row_game[$slot]=$game_pid row_watch[$slot]=$game_watch row_dir[$slot]=$dir
  start_program "$dir" "$dir/stdout.txt" "${env_args[@]}" || fail "$value: no startup line: $(cat "$dir/stdout.txt")"
  row_prog[$slot]=$started
}
# row_done LOG: the pin left the game alone, or the final step has run (its watch may lag).
row_done() { debug_line "$1" "pin: .* left alone" || debug_line "$1" "final: "; }
number_check() { # number_check SLOT NAME ADJUSTED(yes|no) EXPECT_LINE(yes|no) REPORTS
  local slot=$1 name=$2 adjusted=$3 wants_line=$4 want=$5 dir=${row_dir[$1]} cpus got rc printed=no seen=no alive=no
  wait_until 60 row_done "$dir/stdout.txt" || fail "$name: no pin or final step: $(cat "$dir/stdout.txt")"
  cpus=$(thread_cpus "${row_game[$slot]}")
  if debug_line "$dir/stdout.txt" "final: " && wait_adjustment "${row_watch[$slot]}" "$all_cpus" 10; then
    seen=yes
  elif ! always_on "${row_watch[$slot]}" "$all_cpus"; then
    seen=partly # touched, but not pinned and spread again
  fi
  kill -0 "${row_prog[$slot]}" 2>/dev/null && alive=yes
  stop_pid "${row_prog[$slot]}" && rc=$stop_rc || rc="still running"
  got=$(reports "$dir")
  (($(adjustment_lines "$dir/stdout.txt"))) && printed=yes
  local what="pinned, then spread over $cpus"
  [[ $adjusted == no ]] && what="left alone on $cpus"
  if [[ $alive == yes && $rc == 0 && $cpus == "$all_cpus" && $seen == "$adjusted" && $printed == "$wants_line" && $got == "$want" ]]; then
    record "$name" pass "game $what; adjustment line: $printed; reports: $got"
  else
    record "$name" FAIL "alive=$alive rc=$rc cpus=$cpus adjusted=$seen line=$printed reports=$got $(tr '\r\n' '  ' <"$dir/ErrorLog.txt" 2>/dev/null); $(grep '^tavrolin: [pf]' "$dir/stdout.txt" | tr '\n' '|')"
  fi
}
# pair NAME_A VALUE_A ADJUSTED_A LINE_A REPORTS_A NAME_B VALUE_B ADJUSTED_B LINE_B REPORTS_B
pair() {
  number_start a "$2" 0
  number_start b "$7" 1
  number_check a "$1" "$3" "$4" "$5"
  number_check b "$6" "$8" "$9" "${10}"
  kill_started
}
if one_processor; then
  for name in missing 0 1 33 65 "not a number (many)"; do
    skip "NUMBER_OF_PROCESSORS $name" "only one processor to run on: there is nothing to spread"
    rows+=("| NUMBER_OF_PROCESSORS $name | skipped | only one processor to run on |")
  done
else
  number_start a - 0
  number_start b 0 1
fi

echo "Bad input: settings file"
# The value rules themselves (every number, sign, overflow and refusal) are
# checked case by case where the program applies them at startup
# (tests/unit/controller_test.cpp); here one refused value per key shows
# the report reaching the real ErrorLog.txt, and the rows below what only
# reading a real file shows.
config_row "InitializeDelay not a number (abc)" "${S}InitializeDelay=abc\r\nOnlineEnabled=1\r\nGame=0\r\n" "$SC $D" 1
config_row "InitializeDelay blanks and quotes around (\" 20 \")" "${S}InitializeDelay = \"20\" \r\nOnlineEnabled=1\r\nGame=0\r\n" "$SC (delay 20000 ms, online play allowed)" 0
config_row "InitializeDelay 300 characters" "${S}InitializeDelay=$(printf '%0300d' 0)\r\nOnlineEnabled=1\r\nGame=0\r\n" "$SC (delay 0 ms, online play allowed)" 0
config_row "InitializeDelay 300 digits" "${S}InitializeDelay=$(printf '9%.0s' $(seq 300))\r\nOnlineEnabled=1\r\nGame=0\r\n" "$SC $D" 1
config_row "OnlineEnabled not a number (yes)" "${S}InitializeDelay=30\r\nOnlineEnabled=yes\r\nGame=0\r\n" "$SC (delay 30000 ms, online play not allowed)" 1
config_row "Game not a number (FA)" "${S}InitializeDelay=30\r\nOnlineEnabled=1\r\nGame=FA\r\n" "$SC $D" 1
config_row "Game missing: appended once over two starts" "${S}InitializeDelay=30\r\nOnlineEnabled=1\r\n" "$SC $D" 0 "${S}InitializeDelay=30\r\nOnlineEnabled=1\r\nGame=0\r\n" 2
config_row "Section missing" "[Other]\r\nInitializeDelay=10\r\n" "$SC (delay 30000 ms, online play not allowed)" 2 "[Other]\r\nInitializeDelay=10\r\nGame=0\r\n"
config_row "Keys repeated: the first wins" "${S}InitializeDelay=20\r\nInitializeDelay=60\r\nOnlineEnabled=0\r\nOnlineEnabled=1\r\nGame=1\r\nGame=0\r\n" "ForgedAlliance.exe (delay 20000 ms, online play not allowed)" 0
config_row "Keys in another letter case" "[CONFIG]\r\ninitializedelay=20\r\nONLINEENABLED=0\r\ngame=1\r\n" "ForgedAlliance.exe (delay 20000 ms, online play not allowed)" 0
config_row "LF-only line ends" '[Config]\nInitializeDelay=20\nOnlineEnabled=0\nGame=1\n' "ForgedAlliance.exe (delay 20000 ms, online play not allowed)" 0
config_row "UTF-8 byte-order mark" '\xef\xbb\xbf[Config]\r\nInitializeDelay=20\r\nOnlineEnabled=1\r\nGame=1\r\n' "ForgedAlliance.exe (delay 20000 ms, online play allowed)" 0
config_row "Last line without a line break" "${S}InitializeDelay=30\r\nOnlineEnabled=1\r\nGame=1" "ForgedAlliance.exe $D" 0
config_row "Last line without a line break, Game missing" "${S}InitializeDelay=20\r\nOnlineEnabled=1" "$SC (delay 20000 ms, online play allowed)" 0 "${S}InitializeDelay=20\r\nOnlineEnabled=1\r\nGame=0\r\n"
config_row "Empty file" "" "$SC (delay 30000 ms, online play not allowed)" 2 "Game=0\r\n"
config_row "CPUs not a list (1-)" "${S}InitializeDelay=30\r\nOnlineEnabled=1\r\nCPUs=1-\r\nGame=0\r\n" "$SC $D" 1
config_row "CPUs naming no processor of this machine (100-200)" "${S}InitializeDelay=30\r\nOnlineEnabled=1\r\nCPUs=100-200\r\nGame=0\r\n" "$SC $D" 1
config_row "CPUs partly on this machine (0,100)" "${S}InitializeDelay=30\r\nOnlineEnabled=1\r\nCPUs=0,100\r\nGame=0\r\n" "$SC (delay 30000 ms, online play allowed, CPUs 0)" 1

# A read-only settings file with a value to repair: the repair fails, is
# reported, and the program runs on with what it could read.
dir=$(new_program_dir InitializeDelay=20 OnlineEnabled=0)
chmod 777 "$dir"
cp "$dir/config.ini" "$work/readonly.ini"
chmod 444 "$dir/config.ini"
start_and_stop "$dir" "${as_user[@]}"
got=$(reports "$dir")
if [[ $alive == yes && $rc == 0 && $line == "watching $SC (delay 20000 ms, online play not allowed)" && $got == 1 ]] &&
  cmp -s "$work/readonly.ini" "$dir/config.ini"; then
  record "Read-only config.ini (Game missing)" pass "${line#watching }; repair refused and reported; file unchanged"
else
  record "Read-only config.ini (Game missing)" FAIL "alive=$alive rc=$rc line=$line reports=$got"
fi

# config.ini is a directory: it cannot be read or written; the defaults apply.
dir=$(new_program_dir)
mkdir "$dir/config.ini"
start_and_stop "$dir"
got=$(reports "$dir")
[[ $alive == yes && $rc == 0 && $line == "watching $SC $D" && $got == 1 && -d $dir/config.ini ]] &&
  record "config.ini is a directory" pass "${line#watching }; one report" ||
  record "config.ini is a directory" FAIL "alive=$alive rc=$rc line=$line reports=$got"

# The log cannot be written: ErrorLog.txt is a directory, or the directory is
# read-only. The refused value is still refused; the program runs on.
dir=$(new_program_dir InitializeDelay=abc OnlineEnabled=1 Game=0)
mkdir "$dir/ErrorLog.txt"
start_and_stop "$dir"
[[ $alive == yes && $rc == 0 && $line == "watching $SC $D" ]] &&
  record "ErrorLog.txt is a directory (with a value to report)" pass "${line#watching }; the report is dropped" ||
  record "ErrorLog.txt is a directory (with a value to report)" FAIL "alive=$alive rc=$rc line=$line"

dir=$(new_program_dir InitializeDelay=abc OnlineEnabled=1 Game=0)
chmod 555 "$dir"
start_and_stop "$dir" "${as_user[@]}"
[[ $alive == yes && $rc == 0 && $line == "watching $SC $D" && ! -e $dir/ErrorLog.txt &&
  $(grep -c "^tavrolin: cannot write in the settings directory $dir: Permission denied" "$dir/stderr.txt") == 1 ]] &&
  record "Read-only directory (with a value to report)" pass "${line#watching }; one line on stderr, the report is dropped" ||
  record "Read-only directory (with a value to report)" FAIL "alive=$alive rc=$rc line=$line"
chmod 755 "$dir"

echo "Bad input: NUMBER_OF_PROCESSORS"
if ! one_processor; then
  number_check a "NUMBER_OF_PROCESSORS missing" yes yes 0
  number_check b "NUMBER_OF_PROCESSORS 0" yes no 1
  kill_started
  pair "NUMBER_OF_PROCESSORS 1" 1 no no 0 \
    "NUMBER_OF_PROCESSORS 33" 33 yes yes 1
  pair "NUMBER_OF_PROCESSORS 65" 65 yes yes 2 \
    "NUMBER_OF_PROCESSORS not a number (many)" many yes yes 2
fi

echo
echo "| Row | Result | Observed |"
echo "|---|---|---|"
printf '%s\n' "${rows[@]}"
e2e_summary
