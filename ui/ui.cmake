# The user interface (Windows builds only): the library mp_ui with everything
# but the entry point, so the tests can drive the window in-process, and the
# program ManagePlugins.exe with its resources.

find_package(Python3 COMPONENTS Interpreter REQUIRED)

file(GLOB mp_ui_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/ui/*.cpp)
list(REMOVE_ITEM mp_ui_sources ${CMAKE_SOURCE_DIR}/ui/winmain.cpp)
add_library(mp_ui STATIC ${mp_ui_sources})
target_include_directories(mp_ui PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(mp_ui PRIVATE ${MP_WARNINGS})
target_link_libraries(mp_ui PUBLIC mp_registry mp_extrainfo mp_catalogue mp_platform
                      user32 gdi32 comctl32 comdlg32 shell32 advapi32 kernel32)

# The pictures are drawn from source on every build tree; nothing binary is
# kept in the repository.
set(mp_res_src ${CMAKE_SOURCE_DIR}/resources)
set(mp_res_out ${CMAKE_BINARY_DIR}/resources)
add_custom_command(
  OUTPUT ${mp_res_out}/header.bmp ${mp_res_out}/app.ico
  COMMAND ${Python3_EXECUTABLE} ${mp_res_src}/make_resources.py ${mp_res_out}
  DEPENDS ${mp_res_src}/make_resources.py
  COMMENT "Drawing the icon and the header artwork"
  VERBATIM)
add_custom_command(
  OUTPUT ${mp_res_out}/app_rc.o
  COMMAND ${CMAKE_RC_COMPILER} -O coff -I ${mp_res_out} -I ${mp_res_src}
          -i ${mp_res_src}/app.rc -o ${mp_res_out}/app_rc.o
  DEPENDS ${mp_res_src}/app.rc ${mp_res_src}/manage_plugins.manifest
          ${mp_res_out}/header.bmp ${mp_res_out}/app.ico
  COMMENT "Compiling the resources"
  VERBATIM)

add_executable(ManagePlugins WIN32 ${CMAKE_SOURCE_DIR}/ui/winmain.cpp ${mp_res_out}/app_rc.o)
target_compile_options(ManagePlugins PRIVATE ${MP_WARNINGS})
target_link_options(ManagePlugins PRIVATE -mwindows)
target_link_libraries(ManagePlugins PRIVATE mp_ui mp_registry mp_extrainfo mp_catalogue
                      user32 gdi32 comctl32 comdlg32 shell32 advapi32 kernel32)

# The documents the program opens lie beside it.
add_custom_command(TARGET ManagePlugins POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/readme.txt
          ${CMAKE_SOURCE_DIR}/license.txt $<TARGET_FILE_DIR:ManagePlugins>
  VERBATIM)

# The Windows tests start the program itself, so it is built first.
function(mp_ui_tests_need_program)
  if(TARGET wine_tests)
    add_dependencies(wine_tests ManagePlugins)
  endif()
endfunction()
cmake_language(DEFER CALL mp_ui_tests_need_program)
