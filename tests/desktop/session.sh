#!/usr/bin/env bash
# Runs one command inside a private headless desktop: an Xvfb on a free
# display, a private session bus, the accessibility bus (enabled, so Qt
# programs started afterwards expose their widgets) and, unless --no-sound
# is given, a PulseAudio with a silent output and a default capture source
# fed from the fifo PARLOX_TEST_MIC_FIFO (float32, 48 kHz, stereo: what a test
# writes there is what the microphone hears). The command's exit status is
# returned.
#
#   session.sh [--no-sound] command [arguments...]
#
# Nothing of the caller's desktop reaches the command or the servers: their
# environment is made here (scripts/test-environment.sh) and this session's
# own. A session that asked for sound and got none says why in
# PARLOX_TEST_NO_SOUND_SERVER; the sound tests fail on it.
#
# Everything the session starts runs in two sessions of its own (setsid: the
# X server; the buses, the sound server and the command), whatever process
# groups a program makes in them. When the command ends, or a TERM, INT or
# HUP arrives, every process of both is ended at once: a hung test does not
# keep its desktop. All files, the X server's included (it listens on an
# abstract socket only), are in one folder under TMPDIR.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../scripts/test-environment.sh"

sound=1
if [ "${1:-}" = --no-sound ]; then
  sound=""
  shift
fi
if [ $# -eq 0 ]; then
  echo "usage: session.sh [--no-sound] command [arguments...]" >&2
  exit 2
fi

sessions=()
work=""

# The pids of the processes of the session $1 that still run (a zombie does
# not): what the session's leader started, in whatever process group.
session_members() {
  local stat line state session
  for stat in /proc/[0-9]*/stat; do
    { read -r line <"$stat"; } 2>/dev/null || continue
    read -r state _ _ session _ <<<"${line##*) }"
    if [ "$session" = "$1" ] && [ "$state" != Z ]; then echo "${line%% *}"; fi
  done
}

# Microseconds since the epoch.
now() { echo "${EPOCHREALTIME//[!0-9]/}"; }

# TERM to every process of the session $1; KILL to those still there 5 s
# later, and for 5 s more to what they start meanwhile.
end_session() {
  local members started
  members=$(session_members "$1")
  [ -n "$members" ] || return 0
  # shellcheck disable=SC2086
  kill -TERM $members 2>/dev/null || true
  started=$(now)
  while members=$(session_members "$1") && [ -n "$members" ]; do
    if [ $(($(now) - started)) -gt 10000000 ]; then return 0; fi
    if [ $(($(now) - started)) -gt 5000000 ]; then
      # shellcheck disable=SC2086
      kill -KILL $members 2>/dev/null || true
    fi
    sleep 0.05
  done
}

# The command's session first, the X server's last.
finish() {
  trap '' TERM INT HUP
  local i
  for ((i = ${#sessions[@]} - 1; i >= 0; i--)); do end_session "${sessions[i]}"; done
  if [ -n "$work" ]; then rm -rf "$work"; fi
}
trap finish EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP

work=$(mktemp -d "${TMPDIR:-/tmp}/parlox-desktop.XXXXXX")
mkdir -p "$work/home" "$work/run" "$work/config" "$work/cache" "$work/data" "$work/state"
chmod 700 "$work/run"
parlox_test_environment
desktop=("${test_environment[@]}"
  HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
  XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_SESSION_TYPE=x11 GSETTINGS_BACKEND=memory
  PARLOX_DESKTOP_WORK="$work" PARLOX_DESKTOP_SOUND="$sound")

# The first display number from $1 up that no X server holds: none listens
# on its abstract socket, and /tmp has no socket file of it (a server may
# listen on that alone, and this session's server, which does not look there,
# would take its number from under it) nor a lock file. A file a killed
# server left counts as taken too.
free_display() {
  local number=$1 abstract
  abstract=$(sed -n 's|.* @/tmp/\.X11-unix/X\([0-9]*\)$|\1|p' /proc/net/unix)
  while grep -qx "$number" <<<"$abstract" || [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do
    number=$((number + 1))
  done
  echo "$number"
}

# -noreset: an X server resets when its last client leaves (the accessibility
# launcher leaves early), and while it resets it refuses new clients and drops
# the ones connecting, and forgets the accessibility bus's address.
# -nolisten unix: no socket file in /tmp/.X11-unix that a killed server would
# leave behind; clients reach the abstract socket. With -displayfd the server
# takes no lock file either, and says when it is ready. Another session may
# take the same free number at the same time: the second server to listen
# ends, and the next free number is tried.
number=0
for _ in $(seq 1 20); do
  number=$(free_display "$number")
  : >"$work/display"
  setsid "${desktop[@]}" Xvfb ":$number" -displayfd 9 -screen 0 1280x800x24 -nolisten tcp -nolisten unix -noreset \
    9>"$work/display" 2>"$work/xvfb.log" &
  xvfb=$!
  sessions+=("$xvfb")
  # A loaded machine may take a while to start it.
  for _ in $(seq 1 3000); do
    if [ -s "$work/display" ] || ! kill -0 "$xvfb" 2>/dev/null; then break; fi
    sleep 0.01
  done
  if [ -s "$work/display" ] || kill -0 "$xvfb" 2>/dev/null; then break; fi
  # What is left of the ended server's session ends now: its id, free again,
  # may soon be another program's session.
  end_session "$xvfb"
  unset 'sessions[-1]'
  number=$((number + 1))
done
if [ ! -s "$work/display" ]; then
  echo "Xvfb did not start" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
display=":$number"

# The session bus as the system's session.conf has it, but with its socket in
# this session's folder rather than in /tmp.
cat >"$work/session-bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <keep_umask/>
  <listen>unix:dir=$work/run</listen>
  <auth>EXTERNAL</auth>
  <standard_session_servicedirs/>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF

setsid "${desktop[@]}" DISPLAY="$display" dbus-run-session --config-file="$work/session-bus.conf" -- bash -c '
  set -euo pipefail
  /usr/libexec/at-spi-bus-launcher --launch-immediately 2>"$PARLOX_DESKTOP_WORK/launcher.log" &
  launcher=$!
  pulse=""
  stop() {
    [ -n "$pulse" ] && pactl exit >/dev/null 2>&1 || true
    [ -n "$pulse" ] && { kill "$pulse" 2>/dev/null || true; wait "$pulse" 2>/dev/null || true; }
    kill "$launcher" 2>/dev/null || true; wait "$launcher" 2>/dev/null || true
  }
  trap stop EXIT
  trap "exit 143" TERM INT
  for _ in $(seq 1 3000); do
    dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q true && break
    sleep 0.01
  done
  dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null
  if [ -n "$PARLOX_DESKTOP_SOUND" ]; then
    if ! command -v pulseaudio >/dev/null; then
      export PARLOX_TEST_NO_SOUND_SERVER="pulseaudio is not installed (scripts/setup installs it)"
    else
      export PARLOX_TEST_MIC_FIFO=$PARLOX_DESKTOP_WORK/mic.fifo
      source_args="source_name=parlox_mic file=$PARLOX_TEST_MIC_FIFO rate=48000 channels=2 format=float32le"
      log=$PARLOX_DESKTOP_WORK/pulse.log
      pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes --log-target=file:"$log" \
        -L "module-native-protocol-unix" -L "module-null-sink sink_name=parlox_out" \
        -L "module-pipe-source $source_args" 2>/dev/null &
      pulse=$!
      # As long as it runs: a loaded machine may take a while to start it.
      for _ in $(seq 1 3000); do
        pactl info >/dev/null 2>&1 && break
        kill -0 "$pulse" 2>/dev/null || break
        sleep 0.02
      done
      if pactl info >/dev/null 2>&1; then
        pactl set-default-source parlox_mic >/dev/null
        export PARLOX_TEST_SOUND_SERVER=1
      else
        export PARLOX_TEST_NO_SOUND_SERVER="the sound server did not answer; its log: $(tail -n 5 "$log" 2>/dev/null | tr "\n" " ")"
      fi
    fi
    if [ -n "${PARLOX_TEST_NO_SOUND_SERVER:-}" ]; then echo "session.sh: $PARLOX_TEST_NO_SOUND_SERVER" >&2; fi
  fi
  "$@"
' parlox-desktop "$@" 2> >(grep -v -e "Failed to set fd limit" -e "SpiRegistry daemon is running" >&2) &
session=$!
sessions+=("$session")
status=0
wait "$session" || status=$?
exit "$status"
