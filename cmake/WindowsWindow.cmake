# The native Windows window (window/win32, Win32 and GDI only): a static library, the preview
# program that shows it on a scripted update in each layout, and its GUI test under Wine on Xvfb.
# The skin's pictures are the ones resources/bitmaps rasterises, turned into BMP and ICO files
# and compiled into the program as Windows resources by a generated .rc file.

find_program(SOLANE_IMAGEMAGICK convert REQUIRED)

file(GLOB SOLANE_WIN32_WINDOW_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/window/win32/*.cpp)
add_library(solane_win32_window STATIC ${SOLANE_WIN32_WINDOW_SOURCES})
target_link_libraries(solane_win32_window PUBLIC solane_core user32 gdi32 ole32 oleaut32 uuid)

# Runs once the pictures are known (resources/bitmaps comes after this file).
function(solane_win32_window_resources)
  get_property(pictures GLOBAL PROPERTY SOLANE_PICTURES)
  set(folder ${CMAKE_BINARY_DIR}/generated/win32-resources)
  set(rc_text "")
  set(outputs "")
  set(icon_pngs "")
  foreach(picture IN LISTS pictures)
    if(NOT picture MATCHES "^(bitmap|icon):([0-9]+)=(.*)$")
      message(FATAL_ERROR "unreadable picture entry ${picture}")
    endif()
    set(kind ${CMAKE_MATCH_1})
    set(id ${CMAKE_MATCH_2})
    set(png ${CMAKE_MATCH_3})
    if(kind STREQUAL "icon")
      list(APPEND icon_pngs ${png})
      set(icon_id ${id})
      continue()
    endif()
    # GDI copies pictures as they are: transparent corners take the skin's dark background.
    add_custom_command(OUTPUT ${folder}/${id}.bmp
      COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
      COMMAND ${SOLANE_IMAGEMAGICK} ${png} -background "#182030" -flatten -type TrueColor BMP3:${folder}/${id}.bmp
      DEPENDS ${png} VERBATIM)
    string(APPEND rc_text "${id} BITMAP \"${folder}/${id}.bmp\"\n")
    list(APPEND outputs ${folder}/${id}.bmp)
  endforeach()
  if(icon_pngs)
    add_custom_command(OUTPUT ${folder}/icon.ico
      COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
      COMMAND ${SOLANE_IMAGEMAGICK} ${icon_pngs} ${folder}/icon.ico
      DEPENDS ${icon_pngs} VERBATIM)
    string(APPEND rc_text "${icon_id} ICON \"${folder}/icon.ico\"\n")
    list(APPEND outputs ${folder}/icon.ico)
  endif()
  file(WRITE ${folder}/SkinResources.rc "${rc_text}")
  set_source_files_properties(${folder}/SkinResources.rc PROPERTIES OBJECT_DEPENDS "${outputs}")
  add_custom_target(solane_win32_skin_files DEPENDS ${outputs})
  add_dependencies(solane_win32_window solane_win32_skin_files)
  # Resources in a static library would never be linked: every program of the window compiles them.
  target_sources(solane_win32_window INTERFACE ${folder}/SkinResources.rc)
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL solane_win32_window_resources)

# The launcher links its window in (window/win32/Win32FrontEnd.cpp hands it to the entry) and is
# a window program, so that a start from the desktop opens no console window; its console runs
# attach to the console they were started from (platform/win32/ProgramConsole.cpp).
function(solane_win32_launcher_window)
  # The window's objects rather than its library: the executable already carries the whole core,
  # which the library would bring in a second time.
  target_sources(SolaneLauncher PRIVATE $<TARGET_OBJECTS:solane_win32_window>
                 $<TARGET_PROPERTY:solane_win32_window,INTERFACE_SOURCES>)
  target_link_libraries(SolaneLauncher PRIVATE user32 gdi32)
  add_dependencies(SolaneLauncher solane_win32_window)
  target_compile_definitions(SolaneLauncher PRIVATE SOLANE_LINKED_WINDOW=1)
  set_target_properties(SolaneLauncher PROPERTIES WIN32_EXECUTABLE ON)
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL solane_win32_launcher_window)

# The window on a scripted update: SolaneWindowPreview.exe <LOCALE> <PUBLISHER>.
add_executable(SolaneWindowPreview ${CMAKE_SOURCE_DIR}/tools/window-preview/WindowPreview.cpp)
target_link_libraries(SolaneWindowPreview PRIVATE solane_win32_window)

if(SOLANE_TESTS)
  # A GUI test runs under Xvfb; without xvfb-run the script finds no display and fails.
  find_program(SOLANE_XVFB_RUN xvfb-run)
  set(display_runner "")
  if(SOLANE_XVFB_RUN)
    set(display_runner ${SOLANE_XVFB_RUN} -a -s "-screen 0 1280x1024x24")
  endif()
  add_test(NAME win32_window_gui
    COMMAND ${display_runner} ${CMAKE_SOURCE_DIR}/tests/window/win32/window-gui.sh ${CMAKE_BINARY_DIR}/wine-run.sh
            $<TARGET_FILE:SolaneWindowPreview> ${CMAKE_BINARY_DIR}/win32-window-gui
            ${CMAKE_BINARY_DIR}/generated/win32-resources)
  set_tests_properties(win32_window_gui PROPERTIES TIMEOUT 900)
  add_executable(test_win32_window ${CMAKE_SOURCE_DIR}/tests/window/win32/Win32MessageBoxTest.cpp)
  target_link_libraries(test_win32_window PRIVATE solane_win32_window GTest::gtest_main)
  add_test(NAME win32_window COMMAND ${display_runner} ${CMAKE_BINARY_DIR}/wine-run.sh $<TARGET_FILE:test_win32_window>)
  set_tests_properties(win32_window PROPERTIES TIMEOUT 300)
endif()
