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
