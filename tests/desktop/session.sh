#!/usr/bin/env bash
# Runs one command inside a private headless desktop: an Xvfb on a free
# display, a private session bus, the accessibility bus (enabled, so Qt
# programs started afterwards expose their widgets) and, when the sound
# server is installed, a PulseAudio with a silent output and a default capture
# source fed from the fifo PARLOX_TEST_MIC_FIFO (float32, 48 kHz, stereo: what
# a test writes there is what the microphone hears). Everything it starts is
# stopped when the command ends; the command's exit status is returned.
set -euo pipefail
work=$(mktemp -d "${TMPDIR:-/tmp}/parlox-desktop.XXXXXX")
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
export XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
export GSETTINGS_BACKEND=memory PARLOX_DESKTOP_WORK=$work
unset NO_AT_BRIDGE WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS PULSE_SERVER AT_SPI_BUS_ADDRESS
export XDG_SESSION_TYPE=x11

xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
Xvfb -displayfd 9 -screen 0 1280x800x24 -nolisten tcp -noreset 9>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 1000); do [ -s "$work/display" ] && break; sleep 0.01; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

dbus-run-session -- bash -c '
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
  for _ in $(seq 1 500); do
    dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q true && break
    sleep 0.01
  done
  dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null
  if command -v pulseaudio >/dev/null && [ -z "${PARLOX_DESKTOP_NO_SOUND:-}" ]; then
    export PARLOX_TEST_MIC_FIFO=$PARLOX_DESKTOP_WORK/mic.fifo
    source_args="source_name=parlox_mic file=$PARLOX_TEST_MIC_FIFO rate=48000 channels=2 format=float32le"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes --log-target=file:"$PARLOX_DESKTOP_WORK/pulse.log" \
      -L "module-native-protocol-unix" -L "module-null-sink sink_name=parlox_out" \
      -L "module-pipe-source $source_args" 2>/dev/null &
    pulse=$!
    for _ in $(seq 1 300); do pactl info >/dev/null 2>&1 && break; sleep 0.01; done
    if pactl info >/dev/null 2>&1; then
      pactl set-default-source parlox_mic >/dev/null; export PARLOX_TEST_SOUND_SERVER=1
    fi
  fi
  "$@"
' parlox-desktop "$@" 2> >(grep -v -e "Failed to set fd limit" -e "SpiRegistry daemon is running" >&2)
