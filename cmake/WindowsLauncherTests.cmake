# The Windows launcher's own tests (included at the end of cmake/WindowsTests.cmake): the built
# SolaneLauncher.exe under Wine against nginx on 127.0.0.1. Its releases are published and its
# programs stamped with the Linux build's solane-publish, which reads and writes Windows version
# resources as well.
find_program(SOLANE_HOST_PUBLISH solane-publish NO_DEFAULT_PATH
  PATHS ${CMAKE_SOURCE_DIR}/build-test/tools ${CMAKE_SOURCE_DIR}/build-release/tools ${CMAKE_SOURCE_DIR}/build/tools
  DOC "The Linux build's solane-publish, which publishes the Windows launcher's test releases")
add_test(NAME launcher_console_update COMMAND ${tests}/app/win32/console-update.sh ${CMAKE_BINARY_DIR}/wine-run.sh
  $<TARGET_FILE:SolaneLauncher> $<TARGET_FILE:SolaneClientStandin> "${SOLANE_HOST_PUBLISH}"
  ${CMAKE_BINARY_DIR}/launcher-console-update)
# A client running anywhere in the prefix (the self-replacement test's stand-in) would count as
# the game already running.
set_tests_properties(launcher_console_update PROPERTIES TIMEOUT 600 RESOURCE_LOCK solane_game_client)

# The launcher's own window on an update, under Xvfb (display_runner: cmake/WindowsWindow.cmake).
add_test(NAME launcher_window_update COMMAND ${display_runner} ${tests}/app/win32/window-update.sh
  ${CMAKE_BINARY_DIR}/wine-run.sh $<TARGET_FILE:SolaneLauncher> $<TARGET_FILE:SolaneClientStandin>
  "${SOLANE_HOST_PUBLISH}" ${CMAKE_BINARY_DIR}/launcher-window-update ${CMAKE_BINARY_DIR}/generated/win32-resources)
set_tests_properties(launcher_window_update PROPERTIES TIMEOUT 900 RESOURCE_LOCK solane_game_client)

# The error reporter posts a crash report over WinINet to the test server (run on the host).
add_test(NAME error_reporter COMMAND ${tests}/diagnostics/win32/error-reporter.sh ${CMAKE_BINARY_DIR}/wine-run.sh
  $<TARGET_FILE:SolaneError> ${CMAKE_BINARY_DIR}/error-reporter)
set_tests_properties(error_reporter PROPERTIES TIMEOUT 600)

# The module that the platform test loads from its bytes.
add_library(solane_test_module SHARED ${tests}/platform/win32/module/TestModule.cpp)
target_compile_definitions(test_platform PRIVATE SOLANE_TEST_MODULE="$<TARGET_FILE:solane_test_module>")
add_dependencies(test_platform solane_test_module)
