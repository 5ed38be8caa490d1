# Registers the GoogleTest cases of `target` with CTest, each case a test of
# its own, with list-valued properties kept intact (gtest_discover_tests folds
# a list such as "core;threads" into one broken value).
#   tervane_gtest(target LABELS core threads [ENVIRONMENT A=1 B=2] [RESOURCE_LOCK name])
function(tervane_gtest target)
  cmake_parse_arguments(T "" "" "LABELS;ENVIRONMENT;RESOURCE_LOCK" ${ARGN})
  gtest_add_tests(TARGET ${target} TEST_LIST cases)
  set_tests_properties(${cases} PROPERTIES LABELS "${T_LABELS}")
  if(T_ENVIRONMENT)
    set_tests_properties(${cases} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  if(T_RESOURCE_LOCK)
    set_tests_properties(${cases} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()
endfunction()

# Every test runs under the harness's network guard (discovery/netns_guard.h):
# TERVANE_NETNS_GUARD names the network namespace the build was configured
# in, so a test started by ctest outside a private namespace (not through
# scripts/in-netns.sh) cannot send to anything but loopback. ctest reads the
# guard file of each test directory before it runs that directory's tests
# and passes its environment on to them, whichever way a test was
# registered. Call once, after every test directory has been added.
function(tervane_guard_tests)
  # Where the namespace cannot be read the guard names none, and then
  # refuses unless it can read process 1's.
  set(configured_in "unknown")
  if(IS_SYMLINK /proc/self/ns/net)
    file(READ_SYMLINK /proc/self/ns/net configured_in)
  endif()
  set(guard ${CMAKE_BINARY_DIR}/netns_guard.cmake)
  file(WRITE ${guard}
    "# Written by cmake/TervaneTests.cmake: the tests' network guard.\n"
    "string(FIND \"\$ENV{TERVANE_NETNS_GUARD}\" \"${configured_in}\" known)\n"
    "if(known EQUAL -1)\n"
    "  set(ENV{TERVANE_NETNS_GUARD} \"${configured_in} \$ENV{TERVANE_NETNS_GUARD}\")\n"
    "endif()\n")
  tervane_guard_directory(${PROJECT_SOURCE_DIR} ${guard})
endfunction()

function(tervane_guard_directory dir guard)
  set_property(DIRECTORY ${dir} APPEND PROPERTY TEST_INCLUDE_FILES ${guard})
  get_property(children DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(child ${children})
    tervane_guard_directory(${child} ${guard})
  endforeach()
endfunction()
