#!/usr/bin/env bash
# The folder scripts/test makes for a run is short whatever the caller's
# TMPDIR: under a caller's temporary folder whose path is 120 characters
# long, a desktop session made in the run's folder (its bus's and sound
# server's sockets lie a few folders deeper) still comes up.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../scripts/test-environment.sh"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/parlox-rf.XXXXXX")
run=""
finish() {
  rm -rf "$scratch"
  if [ -n "$run" ]; then rm -rf "$run"; fi
}
trap finish EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

callers=$scratch/$(printf 'd%.0s' {1..60})
callers=$callers/$(printf 'e%.0s' $(seq 1 $((119 - ${#callers}))))
mkdir -p "$callers"
TMPDIR=$callers parlox_make_run_folder
[ -d "$run" ] || fail "no run folder was made"
TMPDIR=$run "$here/../desktop/session.sh" bash -c '
  [ -n "${PARLOX_TEST_SOUND_SERVER:-}" ] || { echo "no sound server: ${PARLOX_TEST_NO_SOUND_SERVER:-}" >&2; exit 1; }
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.GetId >/dev/null' ||
  fail "no desktop session in the run folder $run made under a TMPDIR of ${#callers} characters"
echo PASS
