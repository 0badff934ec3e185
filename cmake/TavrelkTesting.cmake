include(GoogleTest)

# tavrelk_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [SERIAL])
# One GoogleTest executable; every TEST() becomes its own CTest test.
# The shared main (tests/common) selects Qt's offscreen platform when no
# platform is set, so widget tests run without a display.
function(tavrelk_add_test name)
  cmake_parse_arguments(T "SERIAL" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE tavrelk_test_main ${T_LIBS})
  # Names in the stack a crashing test leaves on standard error.
  set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
  target_compile_definitions(${name} PRIVATE
    TAVRELK_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  set(props TIMEOUT 300)
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  # Tests that keep their own real-time peers (a JACK server, a timed flood)
  # run alone, so that a parallel test cannot starve them into failing.
  if(T_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  # A "...Child" suite is a helper another test starts as its own process,
  # never a test of its own.
  gtest_discover_tests(${name}
    TEST_FILTER "-*Child.*"
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()
