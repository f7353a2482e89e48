# The Windows build (cross-compiled with cmake/mingw-w64.cmake): the platform layer of
# platform/win32, programs linked statically so that they need no MinGW runtime DLLs, and tests
# run under Wine through cmake/wine-run.sh.
set(SOLANE_PLATFORM win32)
if(SOLANE_SANITIZE OR SOLANE_FUZZ OR SOLANE_GUI)
  message(FATAL_ERROR "The Windows build has no sanitizers, fuzzers or wx window: configure it with "
    "-DSOLANE_SANITIZE=OFF -DSOLANE_FUZZ=OFF -DSOLANE_GUI=OFF")
endif()
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE Release CACHE STRING "" FORCE)
endif()
# GCC 12 warns falsely of overlapping copies inside std::string at -O2 and above (-Wrestrict).
add_compile_options(-Wno-restrict)

# Windows 8 and later (the precise wall clock); the wide ("W") functions are called by name,
# texts are UTF-8 inside.
add_compile_definitions(_WIN32_WINNT=0x0602 WINVER=0x0602 WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
add_link_options(-static)
# libgcrypt (digests and release signatures) from the MinGW tree, static with libgpg-error.
find_path(SOLANE_GCRYPT_INCLUDE gcrypt.h REQUIRED)
find_library(SOLANE_GCRYPT_LIBRARY libgcrypt.a REQUIRED)
find_library(SOLANE_GPG_ERROR_LIBRARY libgpg-error.a REQUIRED)
add_library(solane_gcrypt INTERFACE)
target_include_directories(solane_gcrypt INTERFACE ${SOLANE_GCRYPT_INCLUDE})
target_link_libraries(solane_gcrypt INTERFACE ${SOLANE_GCRYPT_LIBRARY} ${SOLANE_GPG_ERROR_LIBRARY} ws2_32)
set(SOLANE_PLATFORM_LIBRARIES solane_gcrypt wininet advapi32 shell32 iphlpapi ws2_32 winmm psapi version ole32 oleaut32)

# The transfer session's libcurl carrier is Linux's (platform/win32/InternetTransfer.cpp carries
# it here), and so is the crash reporter's side of signals, a ptrace helper and its own minidump
# writer (platform/win32/CrashReporter.cpp is Windows's side). They stay out of the Windows build.
set(SOLANE_NOT_YET_PORTED
  "/download/TransferSession\\.cpp$|/diagnostics/(CrashHandler|CrashHelper|CrashedProcess|CrashSignalName|Minidump)\\.cpp$")

# Build-time generators and tests run under Wine, in a prefix of the build folder's own.
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

# GoogleTest built from its sources with the same compiler (the system's copy is for Linux).
if(SOLANE_TESTS)
  set(SOLANE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources for the Windows build")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${SOLANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)  # defines GTest::gtest
endif()

# Version resources: a Windows program carries its version in VERSIONINFO, where the Linux build
# writes an ELF note.
enable_language(RC)
function(solane_version_resource target description major minor patch tweak)
  set(SOLANE_RC_DESCRIPTION ${description})
  set(SOLANE_RC_MAJOR ${major})
  set(SOLANE_RC_MINOR ${minor})
  set(SOLANE_RC_PATCH ${patch})
  set(SOLANE_RC_TWEAK ${tweak})
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_BINARY_DIR}/version/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/version/${target}.rc)
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL solane_version_resource SolaneLauncher "Solane Launcher"
  ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK})
# The stand-in's and the crash test program's versions, as their ELF notes give them on Linux.
if(SOLANE_TESTS)
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL solane_version_resource solane_crash_program
    "Solane crash test program" 1 0 3 7)
endif()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL solane_version_resource SolaneClientStandin
  "Solane client stand-in" 1 0 0 0)
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL solane_version_resource SolaneError
  "Solane error reporter" 1 0 0 0)
include(${CMAKE_CURRENT_LIST_DIR}/WindowsWindow.cmake)
