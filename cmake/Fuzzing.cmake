# Fuzz targets: every library is instrumented for libFuzzer and built under
# AddressSanitizer and UndefinedBehaviorSanitizer, so a fault deep in a parser
# stops the run with its stack. Off by default and never part of CI; use a
# build folder of its own, e.g.
#   cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
#     -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
#     -DPARLOX_BUILD_FUZZERS=ON -DPARLOX_BUILD_TESTS=OFF -DPARLOX_BUILD_BENCH=OFF
#   cmake --build build-fuzz --target fuzzers
if(PARLOX_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "PARLOX_BUILD_FUZZERS needs clang (-DCMAKE_CXX_COMPILER=clang++-14), not ${CMAKE_CXX_COMPILER_ID}")
  endif()
  set(PARLOX_SANITIZERS address,undefined)
  add_compile_options(-fsanitize=fuzzer-no-link,${PARLOX_SANITIZERS} -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${PARLOX_SANITIZERS})
endif()
