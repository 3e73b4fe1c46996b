#!/usr/bin/env bash
# Tests of scripts/check-test-report on ctest's own reports of the tests of
# ReportFixture.cc (its program is $1): a pass fails when no test ran, when a
# test is disabled, and when a test skipped without a line of the skip list
# that names its pass and the reason it gave.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
check=$here/../../scripts/check-test-report
fixture=$1
scratch=$(mktemp -d "${TMPDIR:-/tmp}/parlox-report.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
project=$scratch/project

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

mkdir -p "$project"
# The fixture's tests (ReportFixture.cc), registered as the suite's are.
cat >"$project/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(TestReportFixture NONE)
enable_testing()
include(GoogleTest)
add_executable(fixture IMPORTED)
set_target_properties(fixture PROPERTIES IMPORTED_LOCATION "$fixture")
gtest_discover_tests(fixture DISCOVERY_MODE PRE_TEST)
CMAKE
cat >"$scratch/skips" <<'SKIPS'
# pass, test, reason
release    Fixture.SkipsForTheListedReason   the <machine>'s "feature" & more is missing
any        Fixture.SkipsForAnotherReason     the listed reason
sanitizers Fixture.SkipsInTheOtherPass       only there
SKIPS
cmake -S "$project" -B "$scratch/build" -G Ninja >/dev/null
cmake --build "$scratch/build" >/dev/null

# Runs ctest with the selection $2 and checks its report as the release
# pass; expects the check's status $1 (pass or fail) and, when failing, the
# words $3 in what it said.
expect() {
  local expected=$1 selection=$2 said=${3:-} status=0 output
  rm -f "$scratch/report.xml"
  ctest --test-dir "$scratch/build" -R "$selection" --output-junit "$scratch/report.xml" >/dev/null 2>&1 || true
  output=$("$check" "$scratch/report.xml" release "$scratch/skips" 2>&1) || status=$?
  case $expected in
    pass) [ "$status" = 0 ] || fail "-R '$selection' failed: $output" ;;
    fail)
      [ "$status" != 0 ] || fail "-R '$selection' passed"
      grep -qF -- "$said" <<<"$output" || fail "-R '$selection': no \"$said\" in: $output"
      ;;
  esac
}

expect pass 'Runs|SkipsForTheListedReason'
expect fail 'typo' "no test ran"
expect fail 'SkipsForTheListedReason' "no test ran"
expect fail 'Runs|Off' "Fixture.Off: disabled"
expect fail 'Runs|SkipsForAnotherReason' \
  'Fixture.SkipsForAnotherReason: skipped because "something else went wrong"; scripts/test-skips allows "the listed reason"'
expect fail 'Runs|SkipsUnlisted' 'Fixture.SkipsUnlisted: skipped because "not listed"; scripts/test-skips allows nothing'
expect fail 'Runs|SkipsInTheOtherPass' 'Fixture.SkipsInTheOtherPass: skipped because "only there"'
echo PASS
