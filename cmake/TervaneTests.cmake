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
