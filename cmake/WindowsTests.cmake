# The Windows build's tests (included from tests/CMakeLists.txt): the platform layer's own tests
# and the suites that build without the sources not yet ported, each run under Wine by ctest
# through CMAKE_CROSSCOMPILING_EMULATOR.
set(tests ${CMAKE_SOURCE_DIR}/tests)
add_library(solane_test_support STATIC ${tests}/support/ScratchDir.cpp ${tests}/support/win32/TemporaryFolder.cpp)
target_link_libraries(solane_test_support PUBLIC solane_core GTest::gtest)
target_compile_definitions(solane_test_support PUBLIC
  SOLANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}" SOLANE_BINARY_DIR="${CMAKE_BINARY_DIR}")

# Portable tests of tests/platform, and the Windows side's own in tests/platform/win32.
file(GLOB windows_platform_tests CONFIGURE_DEPENDS ${tests}/platform/win32/*Test.cpp)
add_executable(test_platform ${windows_platform_tests}
  ${tests}/platform/ProfileFileTest.cpp ${tests}/platform/TerminalTextTest.cpp)
target_link_libraries(test_platform PRIVATE solane_test_support GTest::gtest_main)
# The running program that the self-replacement test renames.
target_compile_definitions(test_platform PRIVATE SOLANE_CLIENT_STANDIN="$<TARGET_FILE:SolaneClientStandin>")
add_dependencies(test_platform SolaneClientStandin)

# The suites' portable tests; the rest need the sources not yet ported or Linux itself.
function(solane_windows_suite suite)
  add_executable(test_${suite} ${ARGN})
  target_link_libraries(test_${suite} PRIVATE solane_test_support GTest::gtest_main)
endfunction()
solane_windows_suite(window ${tests}/window/CatalogueTest.cpp ${tests}/window/ConsoleScreenTest.cpp)
target_compile_definitions(test_window PRIVATE SOLANE_HELPDESK_ADDRESS="${SOLANE_HELPDESK_ADDRESS}")

foreach(suite platform window)
  add_test(NAME ${suite} COMMAND test_${suite})
  set_tests_properties(${suite} PROPERTIES TIMEOUT 600)
endforeach()

# A full disk: a 1 MB tmpfs as drive S: for the platform tests.
add_test(NAME small_drive_up COMMAND ${CMAKE_SOURCE_DIR}/cmake/small-drive.sh up ${CMAKE_BINARY_DIR})
add_test(NAME small_drive_down COMMAND ${CMAKE_SOURCE_DIR}/cmake/small-drive.sh down ${CMAKE_BINARY_DIR})
set_tests_properties(small_drive_up PROPERTIES FIXTURES_SETUP small_drive)
set_tests_properties(small_drive_down PROPERTIES FIXTURES_CLEANUP small_drive)
set_tests_properties(platform PROPERTIES FIXTURES_REQUIRED small_drive ENVIRONMENT SOLANE_SMALL_DRIVE=S:)
