# PARLOX_SANITIZE builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer (GCC's own runtimes, which g++ brings along).
# Any report ends the process with an error, so a memory fault or undefined
# behaviour fails the test that met it. scripts/test runs the suite once
# more in such a build (build-asan/, without the benchmarks).
option(PARLOX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(PARLOX_SANITIZE)
  # float-cast-overflow is not part of GCC's "undefined" set.
  set(PARLOX_SANITIZE_FLAGS -fsanitize=address,undefined,float-cast-overflow)
  # -Og: under the instrumentation -O3 takes three times as long to compile,
  # and the tests do not need its speed; a module that sets its own level
  # (the model runtime's -O3) keeps it. -g1: line tables for the reports'
  # stacks at a fraction of full debug info.
  # _GLIBCXX_ASSERTIONS: bounds checks in the standard containers, which the
  # address checks miss inside a vector's spare capacity.
  add_compile_options(${PARLOX_SANITIZE_FLAGS} -fno-sanitize-recover=all -fno-omit-frame-pointer -Og -g1)
  # Under the instrumentation GCC's warnings of uninitialised reads and
  # overlapping copies inside the standard headers multiply, all false
  # alarms; this build catches those faults at run time instead.
  add_compile_options(-Wno-maybe-uninitialized -Wno-restrict)
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
  add_link_options(${PARLOX_SANITIZE_FLAGS})
endif()
