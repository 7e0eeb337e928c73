# The user interface (Windows builds only): the library mp_ui with everything
# but the entry point, so the tests can drive the window in-process, and the
# program ManagePlugins.exe with its resources.

file(GLOB mp_ui_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/ui/*.cpp)
list(REMOVE_ITEM mp_ui_sources ${CMAKE_SOURCE_DIR}/ui/winmain.cpp)
add_library(mp_ui STATIC ${mp_ui_sources})
target_include_directories(mp_ui PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(mp_ui PRIVATE ${MP_WARNINGS})
target_link_libraries(mp_ui PUBLIC mp_registry mp_extrainfo mp_catalogue mp_platform
                      user32 gdi32 comctl32 comdlg32 shell32 advapi32 kernel32)

# The pictures are drawn from source on every build tree; nothing binary is
# kept in the repository. The artwork's label shows the version.
add_custom_command(
  OUTPUT ${mp_res_out}/header.bmp ${mp_res_out}/app.ico
  COMMAND ${Python3_EXECUTABLE} ${mp_res_src}/make_resources.py ${mp_res_out}
          ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}
  DEPENDS ${mp_res_src}/make_resources.py ${mp_res_out}/version.stamp
  COMMENT "Drawing the icon and the header artwork"
  VERBATIM)
mp_compile_resources(${mp_res_src}/app.rc ${mp_res_out}/app_rc.o
                     ${mp_res_out}/manage_plugins.manifest
                     ${mp_res_out}/header.bmp ${mp_res_out}/app.ico)

add_executable(ManagePlugins WIN32 ${CMAKE_SOURCE_DIR}/ui/winmain.cpp ${mp_res_out}/app_rc.o)
target_compile_options(ManagePlugins PRIVATE ${MP_WARNINGS})
target_link_options(ManagePlugins PRIVATE -mwindows)
target_link_libraries(ManagePlugins PRIVATE mp_ui mp_registry mp_extrainfo mp_catalogue
                      user32 gdi32 comctl32 comdlg32 shell32 advapi32 kernel32)

# The documents the program opens lie beside it; the readme states the
# version. Windows line ends, for the Notepad of older Windows.
configure_file(${CMAKE_SOURCE_DIR}/readme.txt ${CMAKE_BINARY_DIR}/readme.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/license.txt ${CMAKE_BINARY_DIR}/license.txt @ONLY NEWLINE_STYLE CRLF)

# The Windows tests start the program itself, so it is built first.
function(mp_ui_tests_need_program)
  if(TARGET wine_tests)
    add_dependencies(wine_tests ManagePlugins)
  endif()
endfunction()
cmake_language(DEFER CALL mp_ui_tests_need_program)
