# Sourced by scripts/test and tests/desktop/session.sh: the environment the
# tests run in is made from what they need, never from what the caller has.
# A desktop shell hands down its display, X authority, session manager,
# buses and toolkit choices (QT_QPA_PLATFORM=wayland, GDK_BACKEND, GTK
# modules, input methods, a preloaded library...); none of it may reach a
# test or a program a test starts.
#
# parlox_test_environment fills the array test_environment with the command
# that starts a program in the tests' environment: `env -i` with the caller's
# PATH (to find the tools), its TMPDIR, the sanitizers' options and a fixed
# UTF-8 locale, so that output and number formats do not follow the caller's
# language. Everything else is left out, LD_PRELOAD and LD_LIBRARY_PATH
# included. Every signal is back to its default action: a caller under nohup,
# or bash starting a background job, hands signals down ignored.
parlox_test_environment() {
  test_environment=(env -i --default-signal PATH="$PATH" LANG=C.UTF-8)
  local name
  for name in TMPDIR ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
    if [ -n "${!name+set}" ]; then test_environment+=("$name=${!name}"); fi
  done
}

# parlox_make_run_folder makes the folder of one run of the tests (their
# temporary and runtime folder, and their home's parent) and names it in run.
# It is under /tmp, whatever the caller's TMPDIR: the sockets the tests and
# their desktops make lie a few folders deeper, and a socket's path holds
# 107 bytes at most.
parlox_make_run_folder() {
  run=$(mktemp -d /tmp/parlox-run.XXXXXX)
}
