#!/usr/bin/env bash
# Tests of scripts/check-unity-batches, on a small project of its own with two
# targets of nine sources: a batch compiles again only when its inputs changed
# (a header it reads included), and a batch that does not compile is reported
# with what the compiler said, a name clash as such and nothing else as one.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
check=$here/../../scripts/check-unity-batches
scratch=$(mktemp -d "${TMPDIR:-/tmp}/parlox-unity.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
project=$scratch/project
compiles=$scratch/compiles

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

mkdir -p "$project/one" "$project/two"
cat >"$project/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(UnityCheckFixture CXX)
option(PARLOX_UNITY_BUILD "Compile each target's sources in batches" ON)
set(PARLOX_UNITY_BATCH_SIZE 8 CACHE STRING "Sources per unity batch")
set(CMAKE_UNITY_BUILD ${PARLOX_UNITY_BUILD})
set(CMAKE_UNITY_BUILD_BATCH_SIZE ${PARLOX_UNITY_BATCH_SIZE})
foreach(target one two)
  file(GLOB sources CONFIGURE_DEPENDS ${target}/*.cpp)
  add_library(${target} STATIC ${sources})
endforeach()
CMAKE
for target in one two; do
  printf '#pragma once\ninline int %sShared() { return 1; }\n' "$target" >"$project/$target/shared.hpp"
  for i in 1 2 3 4 5 6 7 8 9; do
    printf '#include "shared.hpp"\nint %sSource%s() { return %sShared(); }\n' "$target" "$i" "$target" \
      >"$project/$target/source$i.cpp"
  done
done

# The compiler, noting each batch it checks.
compiler=$(command -v c++)
cat >"$scratch/c++" <<WRAPPER
#!/bin/sh
case " \$* " in *" -fsyntax-only "*) echo "\$*" >>"$compiles" ;; esac
exec "$compiler" "\$@"
WRAPPER
chmod +x "$scratch/c++"

# Runs the check; sets status, output (what it printed) and compiled (the
# targets whose batch it compiled, in order).
run_check() {
  : >"$compiles"
  status=0
  output=$(CXX=$scratch/c++ PARLOX_UNITY_CHECK_SOURCE=$project PARLOX_UNITY_CHECK_DIR=$scratch/check \
    "$check" 2>&1) || status=$?
  compiled=$(sed -n 's|.*CMakeFiles/\([a-z]*\)\.dir/Unity/.*|\1|p' "$compiles" | sort | tr '\n' ' ')
}

expect_pass() {
  local what=$1 batches=$2
  run_check
  [ "$status" = 0 ] || fail "$what: the check failed: $output"
  [ "$compiled" = "$batches" ] || fail "$what: compiled the batches of '$compiled', not of '$batches'"
}

expect_failure() {
  local what=$1 said=$2
  run_check
  [ "$status" != 0 ] || fail "$what: the check passed"
  grep -qF -- "$said" <<<"$output" || fail "$what: the compiler's \"$said\" is not in what the check said: $output"
}

expect_pass "the first check" "one two "
expect_pass "nothing changed" ""
echo "inline int oneOther() { return 2; }" >>"$project/one/shared.hpp"
expect_pass "a header of one target changed" "one "

echo '#include "generated.hpp"' >>"$project/two/source3.cpp"
expect_failure "a missing header" "generated.hpp: No such file or directory"
if grep -q "same name" <<<"$output"; then fail "a missing header is called a name clash: $output"; fi
sed -i '/generated.hpp/d' "$project/two/source3.cpp"

echo 'int clash() { return 1; }' >>"$project/two/source4.cpp"
echo 'int clash() { return 2; }' >>"$project/two/source5.cpp"
expect_failure "two sources define one name" "redefinition of"
grep -q "two sources of one target define the same name" <<<"$output" || fail "the clash is not named: $output"
echo PASS
