# kes_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [ENV <VAR=value...>]
#              [PREFIX <prefix>])
# One GoogleTest executable; every test case becomes a ctest test (named with PREFIX first when
# given, so the same cases can run again under another environment). Widget tests run
# offscreen, so nothing here needs a display, and without a session bus, so that nothing reaches
# the desktop (keyring, notifications) of whoever runs them; tests that need a bus start their own.
set(KES_TEST_NO_SESSION_BUS "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/kestrune-test-bus")
function(kes_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT;PREFIX" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                          Threads::Threads)
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  gtest_discover_tests(${T_NAME}
    TEST_PREFIX "${T_PREFIX}"
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KES_BIN_DIR=${CMAKE_BINARY_DIR}/bin;KES_SOURCE_DIR=${CMAKE_SOURCE_DIR};${KES_TEST_NO_SESSION_BUS};${T_ENV}")
endfunction()
