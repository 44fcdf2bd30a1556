# The Windows build's gtest_discover_tests: one ctest entry per test program
# instead of one per case. Every program start under wine costs about half a
# second, and listing the cases would run each program at build time too.
#
# A program whose LABELS include "posix" needs a facility only the Linux build
# has (ptys, fork, the simulators' programs): it is not built and not listed,
# so it is neither passed nor failed here.
function(gtest_discover_tests target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "NO_PRETTY_TYPES;NO_PRETTY_VALUES"
    "TEST_PREFIX;TEST_SUFFIX;WORKING_DIRECTORY;TEST_LIST;DISCOVERY_TIMEOUT;XML_OUTPUT_DIR;DISCOVERY_MODE;TEST_FILTER"
    "EXTRA_ARGS;PROPERTIES")
  set(labels "")
  list(FIND arg_PROPERTIES LABELS at)
  if(at GREATER -1)
    math(EXPR at "${at} + 1")
    list(GET arg_PROPERTIES ${at} labels)
  endif()
  if("posix" IN_LIST labels)
    set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL TRUE)
    set_property(GLOBAL APPEND PROPERTY WIN_POSIX_TESTS ${target})
    return()
  endif()
  set(command ${target})
  if(arg_TEST_FILTER)
    list(APPEND command --gtest_filter=${arg_TEST_FILTER})
  endif()
  list(APPEND command --gtest_brief=1 ${arg_EXTRA_ARGS})
  if(arg_WORKING_DIRECTORY)
    add_test(NAME ${target} COMMAND ${command} WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
  else()
    add_test(NAME ${target} COMMAND ${command})
  endif()
  if(arg_PROPERTIES)
    set_tests_properties(${target} PROPERTIES ${arg_PROPERTIES})
  endif()
  # a program runs all its cases: the time-out of one case is not enough
  set_tests_properties(${target} PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED wine_prefix)
endfunction()

function(gtest_add_tests)
  message(FATAL_ERROR "gtest_add_tests: use gtest_discover_tests")
endfunction()
