#!/usr/bin/env bash
# Tests of tests/desktop/session.sh itself:
#   session_test.sh environment DESKTOP_TESTS  the caller's desktop reaches nothing in the session
#   session_test.sh signal                     TERM or INT ends the command and all the session started,
#                                              in whatever process group
#   session_test.sh leftovers                  a session killed as ctest kills at a time-out leaves
#                                              nothing outside its TMPDIR
#   session_test.sh display                    the session's X server takes a number no other server
#                                              holds, nor one a killed server left files of
#   session_test.sh outside DESKTOP_TESTS      a desktop test binary started outside it runs no test
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
session=$here/session.sh
scratch=$(mktemp -d "${TMPDIR:-/tmp}/parlox-st.XXXXXX")
started=()  # processes this test saw the session start: ended by pid if the test fails

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

made_files=()  # X servers' files this test made in /tmp
made_x11_folder=""
listener_pid=""

finish() {
  local pid
  for pid in "${started[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  if [ -n "$listener_pid" ]; then
    kill "$listener_pid" 2>/dev/null || true
    wait "$listener_pid" 2>/dev/null || true
  fi
  if [ ${#made_files[@]} -gt 0 ]; then rm -f "${made_files[@]}"; fi
  if [ -n "$made_x11_folder" ]; then rmdir /tmp/.X11-unix 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap finish EXIT

# What a desktop session hands down: a display and X authority, a session
# manager, the buses, the sound server, toolkit and input method choices,
# themes and scale, a locale, data folders, a preloaded library, a Python path.
hostile=(
  DISPLAY=:99 XAUTHORITY=/nonexistent/Xauthority WAYLAND_DISPLAY=wayland-0
  SESSION_MANAGER=local/host:@/tmp/.ICE-unix/1,unix/host:/tmp/.ICE-unix/1
  DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus AT_SPI_BUS_ADDRESS=unix:path=/nonexistent/a11y
  PULSE_SERVER=unix:/nonexistent/pulse NO_AT_BRIDGE=1
  QT_QPA_PLATFORM=wayland QT_QPA_PLATFORMTHEME=kde QT_STYLE_OVERRIDE=nonexistent QT_SCALE_FACTOR=3
  QT_IM_MODULE=ibus QT_ACCESSIBILITY=0 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=0
  GDK_BACKEND=wayland GDK_SCALE=2 GTK_MODULES=nonexistent-module GTK_IM_MODULE=ibus GTK_THEME=Nonexistent
  XMODIFIERS=@im=ibus XDG_CURRENT_DESKTOP=KDE XDG_SESSION_DESKTOP=KDE DESKTOP_SESSION=plasmawayland
  XDG_SESSION_TYPE=wayland XDG_DATA_DIRS=/nonexistent/share XDG_CONFIG_DIRS=/nonexistent/etc
  XDG_RUNTIME_DIR=/nonexistent/run GSETTINGS_BACKEND=dconf GIO_EXTRA_MODULES=/nonexistent/gio
  LANG=es_ES.UTF-8 LC_ALL=es_ES.UTF-8 LANGUAGE=es
  LD_PRELOAD=libm.so.6 PYTHONPATH=/nonexistent/python OPENBLAS_CORETYPE=Prescott
)

# The pids of every process below $1, now.
descendants() {
  local stat line rest pid parent state children=()
  for stat in /proc/[0-9]*/stat; do
    { read -r line <"$stat"; } 2>/dev/null || continue
    pid=${line%% *}
    rest=${line##*) }
    read -r state parent _ <<<"$rest"
    if [ "$parent" = "$1" ] && [ "$state" != Z ]; then children+=("$pid"); fi
  done
  for pid in "${children[@]}"; do
    echo "$pid"
    descendants "$pid"
  done
}

# Whether the process $1 still runs (a zombie waiting for its parent does not).
running() {
  local line
  { read -r line <"/proc/$1/stat"; } 2>/dev/null || return 1
  line=${line##*) }
  [ "${line%% *}" != Z ]
}

name_of() { cat "/proc/$1/comm" 2>/dev/null || true; }

group_of() {
  local line group
  { read -r line <"/proc/$1/stat"; } 2>/dev/null || return 0
  read -r _ _ group _ <<<"${line##*) }"
  echo "$group"
}

# Waits (150 s at most) until the file $1 exists: longer than session.sh
# itself waits for its servers to start.
wait_for_file() {
  for _ in $(seq 1 15000); do
    if [ -e "$1" ]; then return 0; fi
    sleep 0.01
  done
  return 1
}

# Starts session.sh (with the words after $1) in the background until the
# command writes the file $1; sets session_pid and started.
start_session() {
  local ready=$1
  shift
  # With job control: a script's background command would ignore SIGINT.
  set -m
  "$session" "$@" &
  session_pid=$!
  set +m
  wait_for_file "$ready" || fail "the session did not start its command within 150 s"
  mapfile -t started < <(descendants "$session_pid")
}

check_environment() {
  local program=$1
  # What the command sees, from a caller that also ignores signals (nohup).
  (
    trap '' HUP INT QUIT PIPE
    env "${hostile[@]}" "$session" bash -c 'env -0 >"$1"; grep "^SigIgn:" /proc/self/status >"$1.ignored"' \
      seen "$scratch/seen"
  ) || fail "the session did not run under the caller's environment"
  local pair leaked=()
  for pair in "${hostile[@]}"; do
    if tr '\0' '\n' <"$scratch/seen" | grep -qxF -- "$pair"; then leaked+=("$pair"); fi
  done
  [ ${#leaked[@]} -eq 0 ] || fail "the command saw the caller's ${leaked[*]}"
  grep -qE '^SigIgn:\s+0+$' "$scratch/seen.ignored" || fail "the command ignores signals: $(cat "$scratch/seen.ignored")"
  # And what the programs it starts make of it: Qt and GTK programs come up
  # on the session's display and accessibility bus (QT_QPA_PLATFORM=wayland,
  # GDK_BACKEND=wayland or the caller's buses would keep them off).
  env "${hostile[@]}" "$session" "$program" --gtest_filter='Toolkits/FocusedField.ReportsApplicationSelectionAndCaretRectangleInUtf16Units/*' ||
    fail "the desktop tests failed under the caller's environment"
}

check_signal() {
  local signal
  for signal in TERM INT; do
    rm -f "$scratch/ready"
    # The command also starts a process in a group of its own, as the
    # application starts its tools.
    start_session "$scratch/ready" bash -c '
      echo "$PARLOX_DESKTOP_WORK" >"$1.work"
      set -m
      sleep 600 &
      echo $! >"$1.own-group"
      set +m
      touch "$1"
      exec sleep 600' command "$scratch/ready"
    local work pid names="" own_group
    work=$(cat "$scratch/ready.work")
    own_group=$(cat "$scratch/ready.own-group")
    for pid in "${started[@]}"; do names+=" $(name_of "$pid")"; done
    for expected in Xvfb dbus-daemon at-spi-bus-laun pulseaudio sleep; do
      [[ " $names " == *" $expected "* ]] || fail "no $expected among the session's processes:$names"
    done
    [ "$(grep -o ' dbus-daemon' <<<"$names" | wc -l)" -ge 2 ] || fail "not both buses among:$names"
    [[ " ${started[*]} " == *" $own_group "* ]] || fail "the command's own-group process is not among the session's"
    [ "$(group_of "$own_group")" = "$own_group" ] || fail "the process $own_group is not in a group of its own"

    kill "-$signal" "$session_pid"
    # session.sh gives each of its two sessions 5 s after TERM, then kills.
    local left=()
    for _ in $(seq 1 600); do
      left=()
      for pid in "${started[@]}"; do if running "$pid"; then left+=("$pid:$(name_of "$pid")"); fi; done
      if [ ${#left[@]} -eq 0 ] && ! running "$session_pid"; then break; fi
      sleep 0.1
    done
    [ ${#left[@]} -eq 0 ] || fail "SIG$signal: still running 60 s later: ${left[*]}"
    running "$session_pid" && fail "SIG$signal: session.sh still runs 60 s later"
    local status=0
    wait "$session_pid" || status=$?
    local expected_status=$((128 + $(kill -l "$signal")))
    [ "$status" = "$expected_status" ] || fail "SIG$signal: session.sh ended with $status, not $expected_status"
    [ ! -e "$work" ] || fail "SIG$signal: the session's folder $work is still there"
  done
}

check_leftovers() {
  local tmp=$scratch/t
  mkdir -p "$tmp"
  # The command notes every socket the session's servers listen on.
  TMPDIR=$tmp start_session "$scratch/ready" bash -c '
    number=${DISPLAY#:}
    {
      echo "work $PARLOX_DESKTOP_WORK"
      echo "x11 /tmp/.X11-unix/X$number"
      echo "x11-lock /tmp/.X$number-lock"
      echo "bus ${DBUS_SESSION_BUS_ADDRESS#unix:path=}"
      echo "a11y $(dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress)"
      echo "pulse $(pactl info | sed -n "s/^Server String: //p")"
    } >"$1.places"
    touch "$1"
    exec sleep 600' command "$scratch/ready"
  # Meanwhile another server, or a killed one, leaves X files of the session's
  # display: they are not the session's, and only what the session made counts.
  local number held
  number=$(sed -n 's|^x11 /tmp/\.X11-unix/X||p' "$scratch/ready.places")
  x11_folder
  stand_in "/tmp/.X11-unix/X$number" once
  lock_file "/tmp/.X$number-lock"
  held=$(listened_paths "${started[@]}")
  # ctest at a time-out: every process of the test's tree is stopped, then
  # killed, so nothing of the session's own clean-up runs.
  local pid
  kill -STOP "$session_pid" "${started[@]}" 2>/dev/null || true
  kill -KILL "$session_pid" "${started[@]}" 2>/dev/null || true
  wait "$session_pid" 2>/dev/null || true
  local what place inside outside=()
  while read -r what place; do
    place=${place%%,*}
    place=${place#unix:path=}
    place=${place#unix:}
    case $what in
      x11)
        if [ -e "$place" ] && grep -qxF -- "$place" <<<"$held"; then outside+=("$what $place"); fi
        ;;
      x11-lock)
        # An X server's lock file holds its pid.
        pid=""
        { read -r pid <"$place"; } 2>/dev/null || true
        if [ -n "$pid" ] && [[ " ${started[*]} " == *" $pid "* ]]; then outside+=("$what $place"); fi
        ;;
      *)
        inside=${place#"$tmp"/}
        if [ -z "$place" ] || [ "$inside" = "$place" ]; then outside+=("$what ${place:-(none)}"); fi
        ;;
    esac
  done <"$scratch/ready.places"
  [ ${#outside[@]} -eq 0 ] || fail "outside the session's TMPDIR $tmp: ${outside[*]}"
}

# The paths of the socket files the processes $@ listen on, one a line.
listened_paths() {
  local pid fd inodes=" "
  for pid in "$@"; do
    for fd in /proc/"$pid"/fd/*; do
      fd=$(readlink "$fd" 2>/dev/null) || continue
      if [[ $fd == socket:* ]]; then inodes+="${fd//[!0-9]/} "; fi
    done
  done
  awk -v inodes="$inodes" 'NR > 1 && $8 ~ /^\// && index(inodes, " " $7 " ") { print $8 }' /proc/net/unix
}

# /tmp/.X11-unix, made (and removed at the end) if there is none.
x11_folder() {
  if [ ! -d /tmp/.X11-unix ]; then
    mkdir -m 1777 /tmp/.X11-unix
    made_x11_folder=1
  fi
}

# An X server's socket file $1, bound by a stand-in that listens on it until
# the test ends ($2 listen) or ends at once ($2 once), leaving the file as a
# killed server does. Noted in made_files only if this test made it: a test
# run beside this one may make the same file first, and then the display is
# taken all the same.
stand_in() {
  local path=$1 bound=$scratch/bound-${1##*/} pid
  python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_UNIX)
s.bind(sys.argv[1])
s.listen()
open(sys.argv[2], "w").close()
if sys.argv[3] == "listen":
    time.sleep(600)' "$path" "$bound" "$2" 2>/dev/null &
  pid=$!
  while [ ! -e "$bound" ] && running "$pid"; do sleep 0.01; done
  if [ -e "$bound" ]; then made_files+=("$path"); fi
  if [ "$2" = listen ]; then listener_pid=$pid; else wait "$pid" || true; fi
  [ -e "$path" ] || fail "no socket file $path"
}

# An X server's lock file $1 that holds no pid of the session's; noted in
# made_files only if this test made it.
lock_file() {
  if (set -o noclobber && printf '%10d\n' "$$" >"$1") 2>/dev/null; then made_files+=("$1"); fi
}

# Whether a server listens on the abstract socket of the display $1.
listens_abstract() { grep -q " @/tmp/\.X11-unix/X$1\$" /proc/net/unix; }

check_display() {
  # The three first numbers no server listens on at its abstract socket: a
  # server that looks at nothing else would take the first. Each is given
  # what another server, or a killed one, leaves in /tmp where it has none:
  # a socket file a server listens on, a socket file no server listens on
  # any more, a lock file.
  local numbers=() number=0
  while [ ${#numbers[@]} -lt 3 ]; do
    listens_abstract "$number" || numbers+=("$number")
    number=$((number + 1))
  done
  x11_folder
  stand_in "/tmp/.X11-unix/X${numbers[0]}" listen
  stand_in "/tmp/.X11-unix/X${numbers[1]}" once
  lock_file "/tmp/.X${numbers[2]}-lock"

  start_session "$scratch/ready" bash -c 'echo "${DISPLAY#:}" >"$1.display"; touch "$1"; exec sleep 600' \
    command "$scratch/ready"
  local taken
  taken=$(cat "$scratch/ready.display")
  kill -TERM "$session_pid"
  wait "$session_pid" 2>/dev/null || true
  for number in "${numbers[@]}"; do
    [ "$taken" != "$number" ] || fail "the session took display :$taken, which has $(ls -d /tmp/.X11-unix/X"$taken" /tmp/.X"$taken"-lock 2>/dev/null)"
  done
}

check_outside() {
  # A sanitizer build refuses any preloaded library, and outside the session
  # nothing takes it away.
  local program=$1 status=0 caller=("${hostile[@]}")
  caller=("${caller[@]/#LD_PRELOAD=*/LD_PRELOAD=}")
  env "${caller[@]}" "$program" >"$scratch/out" 2>&1 || status=$?
  [ "$status" != 0 ] || fail "the desktop tests passed outside session.sh: $(cat "$scratch/out")"
  grep -q "run them inside tests/desktop/session.sh" "$scratch/out" || fail "no word of session.sh: $(cat "$scratch/out")"
  if grep -q '^\[ RUN      \]' "$scratch/out"; then fail "a test ran outside session.sh: $(cat "$scratch/out")"; fi
}

case ${1:-} in
  environment) check_environment "$2" ;;
  signal) check_signal ;;
  leftovers) check_leftovers ;;
  display) check_display ;;
  outside) check_outside "$2" ;;
  *) fail "unknown case ${1:-}" ;;
esac
echo PASS
