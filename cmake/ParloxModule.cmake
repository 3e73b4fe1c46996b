# Every module is one library whose sources are the .cpp files its globs find,
# so adding a file never means editing a shared list.
function(parlox_add_library name)
  cmake_parse_arguments(A "" "" "GLOBS;EXCLUDE;LINK;PRIVATE_LINK" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${A_GLOBS})
  foreach(pattern IN LISTS A_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${pattern}")
  endforeach()
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${A_LINK} PRIVATE ${A_PRIVATE_LINK})
    target_compile_options(${name} PRIVATE ${PARLOX_WARNINGS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${A_LINK})
  endif()
endfunction()

# A module's fakes (its fake/ folder) are a library of their own,
# <module>_fakes, that tests, benchmarks and fuzzers link; the production
# libraries never hold them. Built only when something links it.
function(parlox_add_fakes module)
  cmake_parse_arguments(A "" "" "LINK" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fake/*.cpp)
  if(srcs)
    add_library(${module}_fakes STATIC EXCLUDE_FROM_ALL ${srcs})
    target_link_libraries(${module}_fakes PUBLIC ${module} ${A_LINK})
    target_compile_options(${module}_fakes PRIVATE ${PARLOX_WARNINGS})
  else()
    add_library(${module}_fakes INTERFACE)
    target_link_libraries(${module}_fakes INTERFACE ${module} ${A_LINK})
  endif()
endfunction()

# One GoogleTest binary per module, each TEST a CTest test.
function(parlox_add_tests name)
  cmake_parse_arguments(A "" "" "GLOBS;LINK;PROPERTIES" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${A_GLOBS})
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${A_LINK} GTest::gmock GTest::gtest GTest::gtest_main)
  target_compile_options(${name} PRIVATE ${PARLOX_WARNINGS})
  target_compile_definitions(${name} PRIVATE
    PARLOX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    PARLOX_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 180 ${A_PROPERTIES})
endfunction()

# A test binary that needs a desktop (an X server, the session and
# accessibility buses, a sound server) runs each test, and its test listing,
# inside a private one that tests/desktop/session.sh starts and stops: never
# the desktop of whoever runs the tests. NO_SOUND leaves the sound server out.
# CMake 3.29 and later have a launcher property for this; older ones take the
# cross-compiling emulator, which policy CMP0158 (pinned in the top
# CMakeLists.txt) keeps in use outside cross builds. Should neither reach
# ctest, the binary's tests fail instead of running on the caller's display.
#
# Such a session may take up to 120 s to start on a loaded machine (its X
# server and accessibility bus 30 s each, its sound server 60 s) and 20 s to
# end. Every test run in one, and the listing of its tests, allows for that
# on top of its own waits.
set(PARLOX_DESKTOP_DISCOVERY_TIMEOUT 180)
set(PARLOX_DESKTOP_TEST_TIMEOUT 300)
function(parlox_run_in_desktop target)
  cmake_parse_arguments(A "NO_SOUND" "" "" ${ARGN})
  set(session ${PROJECT_SOURCE_DIR}/tests/desktop/session.sh)
  if(A_NO_SOUND)
    list(APPEND session --no-sound)
  endif()
  if(CMAKE_VERSION VERSION_GREATER_EQUAL 3.29)
    set_target_properties(${target} PROPERTIES TEST_LAUNCHER "${session}")
  else()
    set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR "${session}")
  endif()
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/OnlyInsideTheDesktopSession.cc)
endfunction()

# X11's headers define macros (None, Bool, Status, ...) that break any header
# read after them, Qt's among them: a source that includes them is compiled
# on its own, outside its target's unity batches.
function(parlox_keep_x11_sources_apart dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY" OR type STREQUAL "UTILITY")
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    get_target_property(source_dir ${target} SOURCE_DIR)
    foreach(source IN LISTS sources)
      cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${source_dir} OUTPUT_VARIABLE path)
      if(EXISTS ${path} AND NOT IS_DIRECTORY ${path})
        file(STRINGS ${path} x11 REGEX "^#include <X11/" LIMIT_COUNT 1)
        if(x11)
          set_source_files_properties(${path} TARGET_DIRECTORY ${target} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
        endif()
      endif()
    endforeach()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    parlox_keep_x11_sources_apart(${subdir})
  endforeach()
endfunction()
