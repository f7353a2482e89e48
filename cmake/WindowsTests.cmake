# The Windows build's tests (included from tests/CMakeLists.txt), run under Wine by ctest through
# CMAKE_CROSSCOMPILING_EMULATOR.
set(tests ${CMAKE_SOURCE_DIR}/tests)
file(GLOB windows_support CONFIGURE_DEPENDS ${tests}/support/win32/*.cpp)
add_library(solane_test_support STATIC ${tests}/support/ScratchDir.cpp ${tests}/support/TestAuthority.cpp
  ${tests}/support/BrowserStandIn.cpp
  ${windows_support})
target_link_libraries(solane_test_support PUBLIC solane_core GTest::gtest crypt32)
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

# The crash reporter: a program of its own crashes under Wine and leaves its report files, whose
# dump lldb reads on the host (lldb reads DWARF 4, not 5).
add_executable(solane_crash_program ${tests}/diagnostics/CrashProgram.cpp)
target_link_libraries(solane_crash_program PRIVATE solane_core)
target_compile_options(solane_crash_program PRIVATE -gdwarf-4)
find_program(SOLANE_LLDB NAMES lldb lldb-14 lldb-15 lldb-16 lldb-17 lldb-18)
add_test(NAME crash_report COMMAND ${tests}/diagnostics/win32/crash-report.sh ${CMAKE_BINARY_DIR}/wine-run.sh
  $<TARGET_FILE:solane_crash_program> ${CMAKE_BINARY_DIR}/crash-report "${SOLANE_LLDB}")
set_tests_properties(crash_report PROPERTIES TIMEOUT 600)

# The engine's suites, one binary per folder as on Linux, against the same test servers (run on the
# host). Tests of Linux-only behaviour are left out by name in solane_windows_suite's EXCLUDE list,
# each with its reason; none skips at run time.
add_library(solane_test_servers STATIC ${tests}/support/FixtureServer.cpp)
target_link_libraries(solane_test_servers PUBLIC solane_test_support)
function(solane_windows_suite folder)
  cmake_parse_arguments(PARSE_ARGV 1 suite "" "" "SOURCES;EXCLUDE")
  list(TRANSFORM suite_SOURCES PREPEND ${tests}/${folder}/)
  add_executable(test_${folder} ${suite_SOURCES})
  target_link_libraries(test_${folder} PRIVATE solane_test_servers GTest::gtest_main)
  # GCC, unlike clang, warns of every field a designated initializer leaves to its default.
  target_compile_options(test_${folder} PRIVATE -Wno-missing-field-initializers)
  set(command test_${folder})
  if(suite_EXCLUDE)
    list(JOIN suite_EXCLUDE ":" excluded)
    list(APPEND command --gtest_filter=-${excluded})
  endif()
  add_test(NAME ${folder} COMMAND ${command})
  set_tests_properties(${folder} PROPERTIES TIMEOUT 600)
endfunction()

solane_windows_suite(download
  SOURCES DownloadJobsTest.cpp SecureTransferTest.cpp TransferStatsTest.cpp TransferUrlTest.cpp
    ZipArchiveTest.cpp TransferSessionTest.cpp)

solane_windows_suite(patch
  SOURCES UpdateScenarioTest.cpp ChecksumTest.cpp DigestCacheTest.cpp FileVersionTest.cpp UpdateInfoTest.cpp)
solane_windows_suite(servers SOURCES ServerListTest.cpp LatencyProbeTest.cpp PingTest.cpp)
solane_windows_suite(window
  SOURCES WindowFlowTest.cpp WindowActionsTest.cpp ServerListViewTest.cpp NoticeAddressTest.cpp CatalogueTest.cpp
    ConsoleScreenTest.cpp ConsoleWindowTest.cpp win32/NoticeBrowserTest.cpp
  EXCLUDE
    # Ctrl-C reaches a Windows program through its console, which a test under Wine has not; the
    # C runtime's SIGINT that the test raises ends the program instead.
    ConsoleFlow.CtrlCDuringADownloadAsksAndASecondOneCancels
    # Needs a display: win32_notice_window runs it under Xvfb.
    NoticeBrowserTest.*)
# Copies of the patch and console test programs stand in for installed programs, whose version
# they carry as their VERSIONINFO (the ELF note the tests define on Linux).
solane_version_resource(test_patch "Solane patch tests" 3 14 15 92)
solane_version_resource(test_window "Solane console tests" 0 0 0 1)
target_link_libraries(test_window PRIVATE solane_win32_window)
target_compile_definitions(test_window PRIVATE SOLANE_HELPDESK_ADDRESS="${SOLANE_HELPDESK_ADDRESS}"
  SOLANE_CLIENT_STANDIN="$<TARGET_FILE:SolaneClientStandin>")
add_dependencies(test_window SolaneClientStandin)
# The window of win32/NoticeBrowserTest.cpp, under Xvfb as win32_window_gui (cmake/WindowsWindow.cmake).
add_test(NAME win32_notice_window COMMAND ${display_runner} ${CMAKE_BINARY_DIR}/wine-run.sh
  $<TARGET_FILE:test_window> --gtest_filter=NoticeBrowserTest.*)
set_tests_properties(win32_notice_window PROPERTIES TIMEOUT 600)

# The launcher's own suite: the engine's start-up in-process, and the built SolaneLauncher.exe run
# on installations in scratch folders with the client stand-in. Their releases are published and
# their programs stamped with the Linux build's solane-publish (the same cache entry as
# cmake/WindowsLauncherTests.cmake's), run as a host program.
find_program(SOLANE_HOST_PUBLISH solane-publish NO_DEFAULT_PATH
  PATHS ${CMAKE_SOURCE_DIR}/build-test/tools ${CMAKE_SOURCE_DIR}/build-release/tools ${CMAKE_SOURCE_DIR}/build/tools
  DOC "The Linux build's solane-publish, which publishes the Windows launcher's test releases")
solane_windows_suite(app
  SOURCES ProfileResolutionTest.cpp RegistrySettingsTest.cpp RunStepTest.cpp ConsoleEntryTest.cpp EndToEndTest.cpp
    InterruptedUpdateTest.cpp SelfReplaceTest.cpp WindowModuleTest.cpp)
target_sources(test_app PRIVATE ${tests}/support/InstalledLauncher.cpp ${tests}/support/PublishedRelease.cpp)
target_compile_definitions(test_app PRIVATE SOLANE_HOST_PUBLISH="${SOLANE_HOST_PUBLISH}")
add_dependencies(test_app SolaneLauncher SolaneClientStandin)
# A client that one suite starts is seen by every launcher in the prefix.
set_tests_properties(app window PROPERTIES RESOURCE_LOCK solane_game_client)

add_test(NAME platform COMMAND test_platform)
set_tests_properties(platform PROPERTIES TIMEOUT 600)

# A full disk: a 1 MB tmpfs as drive S: for the platform and download tests, one at a time (the
# download test fills it up).
add_test(NAME small_drive_up COMMAND ${CMAKE_SOURCE_DIR}/cmake/small-drive.sh up ${CMAKE_BINARY_DIR})
add_test(NAME small_drive_down COMMAND ${CMAKE_SOURCE_DIR}/cmake/small-drive.sh down ${CMAKE_BINARY_DIR})
set_tests_properties(small_drive_up PROPERTIES FIXTURES_SETUP small_drive)
set_tests_properties(small_drive_down PROPERTIES FIXTURES_CLEANUP small_drive)
set_tests_properties(platform download PROPERTIES FIXTURES_REQUIRED small_drive ENVIRONMENT SOLANE_SMALL_DRIVE=S:
  RESOURCE_LOCK small_drive)
include(${CMAKE_SOURCE_DIR}/cmake/WindowsLauncherTests.cmake)
