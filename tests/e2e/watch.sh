# shellcheck shell=bash
# Watching a process's threads' processors from outside. Sourced by the Linux
# and the Wine end-to-end helpers.
#
# The pin to processor 0 lasts about a second. A watch that forks a few
# programs per look can miss it on a loaded machine, so one long-lived process
# per game reads /proc with shell builtins alone and writes each change of
# state to a log; the tests then read what happened from the log, at leisure.
#
#   watch_start PID LOG   starts watching; the watcher's pid in $watcher
#   adjustment_in LOG FINAL [SINCE_MS]
#                         prints "PINNED_MS FINAL_MS THREADS": the first time
#                         (ms since the epoch, at or after SINCE_MS) every
#                         thread was on processor 0, the first time after that
#                         every thread was on FINAL, and how many threads the
#                         process had then ("-" for what was not seen)
#   wait_adjustment LOG FINAL SECONDS [SINCE_MS]
#                         waits for both; sets pinned_at, final_at, final_threads
#   always_on LOG CPUS    true when every thread was on CPUS at every look

now_ms() { echo $((${EPOCHREALTIME/./} / 1000)); }

# watch_threads PID LOG: appends "MS THREADS CPUS" to LOG at the start and on
# every change, CPUS being the distinct Cpus_allowed_list values of the
# threads, blank-separated. Ends when the process has gone.
watch_threads() {
  local pid=$1 log=$2 fifo=$2.tick tick f text value state threads last=
  mkfifo "$fifo" && exec {tick}<>"$fifo" # read -t on it sleeps without a fork
  while [[ -d /proc/$pid/task ]]; do
    state='' threads=0
    for f in /proc/"$pid"/task/*/status; do
      read -r -d '' text 2>/dev/null <"$f"
      [[ $text =~ Cpus_allowed_list:[[:space:]]*([^[:space:]]+) ]] || continue
      value=${BASH_REMATCH[1]}
      threads=$((threads + 1))
      [[ " $state " == *" $value "* ]] || state+=${state:+ }$value
    done
    # A zombie has no threads left to look at.
    [[ -z $state ]] && break
    if [[ "$threads $state" != "$last" ]]; then
      echo "$(now_ms) $threads $state" >>"$log"
      last="$threads $state"
    fi
    read -r -t 0.02 -u "$tick"
  done
}

watch_start() {
  watch_threads "$1" "$2" &
  watcher=$!
}

adjustment_in() {
  [[ -f $1 ]] || {
    echo "- - -"
    return
  }
  awk -v final="$2" -v since="${3:-0}" '
    $1 < since { next }
    { state = $3; for (i = 4; i <= NF; i++) state = state " " $i }
    pinned == "" && state == "0" { pinned = $1; next }
    pinned != "" && state == final { print pinned, $1, $2; found = 1; exit }
    END { if (!found) print (pinned == "" ? "-" : pinned), "-", "-" }
  ' "$1"
}

wait_adjustment() {
  local log=$1 final=$2 deadline=$(($(now_ms) + $3 * 1000)) since=${4:-0}
  while :; do
    read -r pinned_at final_at final_threads < <(adjustment_in "$log" "$final" "$since")
    [[ $final_at != - ]] && return 0
    (($(now_ms) > deadline)) && return 1
    sleep 0.2
  done
}

always_on() {
  [[ -s $1 ]] && awk -v cpus="$2" 'NF != 3 || $3 != cpus { exit 1 }' "$1"
}
