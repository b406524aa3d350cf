#!/usr/bin/env bash
# The Linux program as a user gets it: the command line; `cmake --install` and
# the settings in ~/.config/tavrolin for an unprivileged user; the portable
# layout; the systemd user unit and the man page; the .deb; the desktop
# notification on a private session bus.
#
#   tests/e2e/linux/install.sh [BUILD_DIR]     (default build/release)
#
# Takes about 40 s (two rounds of adjustments of stand-in games, each after a
# 10 s poll). Ends with "N passed, F failed, S skipped: NAMES"; the status is 1
# when a check failed.
set -u
source "$(dirname "$0")/lib.sh"
linux_begin "The Linux program installed" "${1:-$root/build/release}"
unset XDG_CONFIG_HOME DBUS_SESSION_BUS_ADDRESS
version=$(sed -nE 's/^project\(Tavrolin VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")

# Root runs the program as nobody, as a user would run it; anyone else is
# such a user already.
as_user=()
owner=$(id -un):$(id -gn)
if [[ $(id -u) == 0 ]]; then
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  owner=nobody:nogroup
fi

# new_home: an empty home of the user's, with a runtime directory in it.
new_home() {
  local home
  home=$(mktemp -d "$work/home.XXXX")
  mkdir "$home/run"
  chown -R "$owner" "$home"
  chmod 700 "$home" "$home/run"
  echo "$home"
}

# run_as_user WHAT PROGRAM HOME LOG: starts PROGRAM as the user, with that
# home, waits for its startup line, then ends it; true when it started and
# ended with status 0, else a failed check named WHAT.
run_as_user() {
  local what=$1 program=$2 home=$3 log=$4
  start_bg "$log" env HOME="$home" XDG_RUNTIME_DIR="$home/run" "${as_user[@]}" "$program"
  if ! wait_started "$log"; then
    fail "$what: no startup line: $(cat "$log")"
    return 1
  fi
  stop_ok "$started" "$what"
}

# --- The command line ----------------------------------------------------------
test_command_line() {
  local program=$1 rc
  "$program" --help >"$work/help.out" 2>"$work/help.err"
  rc=$?
  [[ $rc == 0 && ! -s $work/help.err ]] && grep -qxF 'Usage: tavrolin [--settings-dir DIR] [--verbose] [--help] [--version]' "$work/help.out" &&
    pass "--help prints the usage on stdout, status 0" || fail "--help: status $rc, $(cat "$work/help.out" "$work/help.err")"
  "$program" --version >"$work/version.out" 2>"$work/version.err"
  rc=$?
  [[ $rc == 0 && $(cat "$work/version.out") == "tavrolin $version" && ! -s $work/version.err ]] &&
    pass "--version prints \"tavrolin $version\", status 0" || fail "--version: status $rc, $(cat "$work/version.out" "$work/version.err")"
  "$program" --frobnicate >"$work/bad.out" 2>"$work/bad.err"
  rc=$?
  [[ $rc == 2 && ! -s $work/bad.out && $(wc -l <"$work/bad.err") == 1 ]] && grep -q -- "--frobnicate" "$work/bad.err" &&
    pass "an unknown option: one line on stderr naming it, status 2" || fail "bad option: status $rc, $(cat "$work/bad.out" "$work/bad.err")"
}

# --- Installed, run by a user ----------------------------------------------------
# settings_in_home NAME PROGRAM HOME: the program keeps its settings and its log
# in ~/.config/tavrolin, created for the user alone, and nothing beside itself.
settings_in_home() {
  local name=$1 program=$2 home=$3 settings=$3/.config/tavrolin beside log
  beside=$(dirname "$program")
  log=$(mktemp "$work/start.XXXX")
  run_as_user "$name" "$program" "$home" "$log" || return
  # A value to report, so that the log has something to say.
  write_config "$work" InitializeDelay=abc OnlineEnabled=1 Game=0
  local fresh=no
  cmp -s <(default_config) "$settings/config.ini" && fresh=yes
  [[ $fresh == yes ]] && "${as_user[@]}" cp "$work/config.ini" "$settings/config.ini"
  run_as_user "$name, started again" "$program" "$home" "$log.2" || return
  if [[ $fresh == yes && $(stat -c '%a %U' "$settings") == "700 ${owner%%:*}" ]] &&
    grep -qxF "tavrolin: watching SupremeCommander.exe (delay 30000 ms, online play allowed); settings and log in $settings" "$log" &&
    grep -q '^Error occurred in ' "$settings/ErrorLog.txt" 2>/dev/null &&
    [[ ! -e $beside/config.ini && ! -e $beside/ErrorLog.txt ]]; then
    pass "$name: config.ini, then ErrorLog.txt, in ~/.config/tavrolin (mode 700), nothing beside the program"
  else
    fail "$name: default config.ini written: $fresh; $(stat -c '%a %U' "$settings" 2>&1); beside: $(ls "$beside"); $(cat "$log" "$log.2")"
  fi
}

# test_unit_by_name HOME: after scripts/install.sh into HOME/.local, the
# plain `systemctl --user enable tavrolin` finds the unit (systemd does not
# look in ~/.local/lib/systemd/user). No user manager runs here, so the unit
# is enabled offline, which is the same lookup by name.
test_unit_by_name() {
  local home=$1 unit=$1/.local/lib/systemd/user/tavrolin.service wants
  if ! command -v systemctl >/dev/null; then
    skip "systemctl --user enable tavrolin" "systemctl is not installed"
    return
  fi
  wants=$home/.config/systemd/user/default.target.wants/tavrolin.service
  env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" systemctl --user --root=/ enable tavrolin >"$work/enable.log" 2>&1 &&
    [[ $(readlink -f "$home/.local/share/systemd/user/tavrolin.service") == "$unit" && $(readlink -f "$wants") == "$unit" ]] &&
    pass "after scripts/install.sh, systemctl --user enable tavrolin finds the unit by its name (linked into ~/.local/share/systemd/user)" ||
    fail "systemctl --user enable tavrolin: $(cat "$work/enable.log"); $(ls -lR "$home/.local/share" "$home/.config/systemd" 2>&1)"
}

test_installed() {
  local prefix=$work/prefix home
  if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    fail "cmake --install: $(cat "$work/install.log")"
    return 1
  fi
  [[ -x $prefix/bin/tavrolin && -f $prefix/lib/systemd/user/tavrolin.service && -f $prefix/share/man/man1/tavrolin.1 ]] &&
    pass "cmake --install puts bin/tavrolin, lib/systemd/user/tavrolin.service, share/man/man1/tavrolin.1" ||
    fail "installed: $(cd "$prefix" && find . -type f)"
  test_command_line "$prefix/bin/tavrolin"

  settings_in_home "installed in a prefix the user cannot write" "$prefix/bin/tavrolin" "$(new_home)"

  # Into ~/.local as the README says, with scripts/install.sh (which installs
  # the checkout's release build): the unit is then found by its name alone.
  home=$(new_home)
  if env -u XDG_DATA_HOME HOME="$home" "$root/scripts/install.sh" "$home/.local" >"$work/install-home.log" 2>&1 &&
    chown -R "$owner" "$home/.local"; then
    settings_in_home "installed in ~/.local" "$home/.local/bin/tavrolin" "$home"
    test_unit_by_name "$home"
  else
    fail "scripts/install.sh into the home: $(cat "$work/install-home.log")"
  fi

  # The portable layout: the program and its config.ini, anywhere.
  home=$(new_home)
  mkdir "$home/portable"
  cp "$prefix/bin/tavrolin" "$home/portable/"
  write_config "$home/portable" InitializeDelay=20 OnlineEnabled=1 Game=1
  chown -R "$owner" "$home/portable"
  if run_as_user "portable layout" "$home/portable/tavrolin" "$home" "$work/portable.log"; then
    grep -qxF "tavrolin: watching ForgedAlliance.exe (delay 20000 ms, online play allowed); settings and log in $home/portable" "$work/portable.log" &&
      [[ ! -e $home/.config ]] && pass "a config.ini beside the program is used where it stands" ||
      fail "portable layout: $(cat "$work/portable.log"); $(ls -A "$home")"
  fi

  # A settings directory that cannot be made: one line, and the defaults.
  home=$(new_home)
  echo "not a directory" >"$home/.config"
  chown "$owner" "$home/.config"
  if run_as_user "uncreatable settings directory" "$prefix/bin/tavrolin" "$home" "$work/nodir.log"; then
    [[ $(grep -c 'settings directory' "$work/nodir.log") == 1 ]] &&
      grep -q "^tavrolin: cannot create the settings directory $home/.config/tavrolin: Not a directory" "$work/nodir.log" &&
      grep -q '^tavrolin: watching SupremeCommander.exe (delay 30000 ms, online play allowed)' "$work/nodir.log" &&
      pass "a settings directory that cannot be made: one line on stderr, the defaults, status 0" ||
      fail "uncreatable settings directory: $(cat "$work/nodir.log")"
  fi

  # The unit and the man page, as installed.
  local unit=$prefix/lib/systemd/user/tavrolin.service
  grep -qx "ExecStart=$prefix/bin/tavrolin" "$unit" && grep -qx 'Restart=on-failure' "$unit" &&
    ! grep -qE '^(User|Group|PrivilegedNetwork|AmbientCapabilities|CapabilityBoundingSet)=' "$unit" &&
    pass "the unit starts the installed program, restarts it on failure, asks for nothing of root's" ||
    fail "unit: $(cat "$unit")"
  if command -v systemd-analyze >/dev/null; then
    mkdir -m 700 "$work/runtime"
    # MANPATH: the unit's Documentation= must be found.
    MANPATH=$prefix/share/man XDG_RUNTIME_DIR=$work/runtime systemd-analyze --user verify "$unit" >"$work/verify.log" 2>&1 &&
      [[ ! -s $work/verify.log ]] && pass "systemd-analyze --user verify passes on the installed unit" ||
      fail "systemd-analyze verify: $(cat "$work/verify.log")"
  else
    skip "systemd-analyze verify" "systemd-analyze is not installed"
  fi
  if command -v man >/dev/null; then
    MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/tavrolin.1" >"$work/man.out" 2>"$work/man.err" &&
      [[ ! -s $work/man.err ]] && grep -q -- '--settings-dir DIR' "$work/man.out" && grep -q "tavrolin $version" "$work/man.out" &&
      pass "man -l renders the man page without warnings" || fail "man -l: $(cat "$work/man.err")"
  else
    skip "man -l on the man page" "man is not installed"
  fi
}

# --- The .deb ------------------------------------------------------------------
test_deb() {
  if ! command -v dpkg-deb >/dev/null; then
    skip "the .deb" "dpkg-deb is not installed"
    return
  fi
  local deb root
  if ! (cd "$build" && cpack -G DEB -B "$work/deb") >"$work/cpack.log" 2>&1; then
    fail "cpack -G DEB: $(cat "$work/cpack.log")"
    return
  fi
  deb=$(echo "$work"/deb/*.deb)
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort >"$work/deb.files"
  printf '%s\n' ./usr/bin/tavrolin ./usr/lib/systemd/user/tavrolin.service ./usr/share/man/man1/tavrolin.1.gz | sort >"$work/deb.expected"
  cmp -s "$work/deb.files" "$work/deb.expected" && pass "the .deb holds the program, the unit and the man page (gzipped) under /usr" ||
    fail "the .deb holds: $(cat "$work/deb.files")"
  # No maintainer scripts and no conffiles: installing writes nothing more.
  dpkg-deb -e "$deb" "$work/control"
  [[ $(ls "$work/control" | tr '\n' ' ') == "control md5sums " ]] && pass "the .deb runs nothing at install time" ||
    fail "the .deb's control files: $(ls "$work/control")"
  root=$work/root
  dpkg-deb -x "$deb" "$root"
  grep -qx 'ExecStart=/usr/bin/tavrolin' "$root/usr/lib/systemd/user/tavrolin.service" &&
    [[ $("$root/usr/bin/tavrolin" --version) == "tavrolin $version" ]] &&
    gzip -t "$root/usr/share/man/man1/tavrolin.1.gz" && zcat "$root/usr/share/man/man1/tavrolin.1.gz" | grep -q '^\.TH TAVROLIN 1' &&
    pass "unpacked, the unit starts /usr/bin/tavrolin, which runs; the man page is gzipped whole" ||
    fail "unpacked: $(cat "$root/usr/lib/systemd/user/tavrolin.service")"
}

# --- The desktop notification ------------------------------------------------------
# Two programs, each watching its own game: one on a private session bus with a
# notification server and a monitor, one with no session bus at all. Each game
# is adjusted twice; the first time while the install tests run.
notification_start() {
  notifying=0
  if one_processor; then
    skip "the desktop notification" "only one processor to run on: there is nothing to spread"
    return
  fi
  local address
  start_bg "$work/bus.log" dbus-daemon --session --nofork --print-address=1
  if ! wait_until 30 grep -q '^unix:' "$work/bus.log"; then
    fail "dbus-daemon did not start: $(cat "$work/bus.log")"
    return
  fi
  address=$(grep -m1 '^unix:' "$work/bus.log")
  start_bg "$work/monitor.log" dbus-monitor --address "$address" "type='method_call',interface='org.freedesktop.Notifications'"
  start_bg "$work/server.log" env DBUS_SESSION_BUS_ADDRESS="$address" "$root/tests/e2e/linux/notification_server.py"
  # The monitor is listening once it has been told it lost its name.
  if ! wait_until 30 grep -q 'member=NameLost' "$work/monitor.log" || ! wait_until 30 grep -qx ready "$work/server.log"; then
    fail "no monitor or notification server: $(cat "$work/monitor.log" "$work/server.log")"
    return
  fi
  bus_log=$work/bus-prog.log quiet_log=$work/quiet-prog.log
  start_program "$(new_program_dir InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=0)" "$bus_log" \
    DBUS_SESSION_BUS_ADDRESS="$address" || fatal "no startup line: $(cat "$bus_log")"
  bus_prog=$started
  start_program "$(new_program_dir InitializeDelay=1 OnlineEnabled=1 Game=1)" "$quiet_log" || fatal "no startup line: $(cat "$quiet_log")"
  quiet_prog=$started
  sc=$(new_game SupremeCommander.exe) fa=$(new_game ForgedAlliance.exe)
  notification_games
  notifying=1
}
notification_games() {
  start_game "$sc"
  sc_pid=$game_pid sc_watch=$game_watch
  start_game "$fa"
  fa_pid=$game_pid fa_watch=$game_watch
}
notification_check() {
  ((notifying)) || return
  local round count
  # Each round ends once both programs' polls have seen their games gone: a
  # second call, or a line, would have come by then.
  for round in 1 2; do
    ((round == 1)) || notification_games
    wait_adjusted "$bus_log" SupremeCommander.exe "$sc_pid" "$sc_watch" "$all_cpus" || fail "round $round: SupremeCommander.exe not adjusted"
    wait_adjusted "$quiet_log" ForgedAlliance.exe "$fa_pid" "$fa_watch" "$all_cpus" || fail "round $round: ForgedAlliance.exe not adjusted"
    end_game_seen "$bus_log" "$sc_pid" SupremeCommander.exe && end_game_seen "$quiet_log" "$fa_pid" ForgedAlliance.exe ||
      fail "round $round: no poll saw the games gone: $(cat "$bus_log" "$quiet_log")"
    count=$(grep -c 'member=Notify$' "$work/monitor.log")
    [[ $count == "$round" ]] && grep -c "string \"SupremeCommander.exe spread over processors $all_cpus\"" "$work/monitor.log" | grep -qx "$round" &&
      pass "adjustment $round: one Notify on the session bus, naming the game" ||
      fail "adjustment $round: $count Notify calls: $(cat "$work/monitor.log")"
  done
  (($(adjustment_lines "$bus_log") == 2)) && ! grep -q 'no desktop notification' "$bus_log" &&
    pass "with a notification server: two adjustment lines, nothing said about notifications" ||
    fail "program on the bus: $(cat "$bus_log")"
  (($(adjustment_lines "$quiet_log") == 2)) && [[ $(grep -c 'no desktop notification' "$quiet_log") == 1 ]] &&
    pass "with no session bus: two adjustments, one line that says why there is no notification" ||
    fail "program without a bus: $(cat "$quiet_log")"
  stop_ok "$bus_prog" "the program on the bus"
  stop_ok "$quiet_prog" "the program without a bus"
}

notification_start
test_installed
test_deb
notification_check
e2e_summary
