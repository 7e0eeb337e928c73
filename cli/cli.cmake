# The command-line companion: the library mp_cli with everything but the
# entry point (built natively too, so its parsing, formatting and commands
# are tested against the in-process registry), and on Windows the console
# program manage-plugins-cli.exe beside the window program.

file(GLOB mp_cli_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cli/*.cpp)
list(REMOVE_ITEM mp_cli_sources ${CMAKE_SOURCE_DIR}/cli/main.cpp)
add_library(mp_cli STATIC ${mp_cli_sources})
target_include_directories(mp_cli PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(mp_cli PRIVATE ${MP_WARNINGS})
target_link_libraries(mp_cli PUBLIC mp_registry mp_extrainfo mp_catalogue mp_platform)

if(MP_WINDOWS)
  mp_compile_resources(${mp_res_src}/cli.rc ${mp_res_out}/cli_rc.o
                       ${mp_res_out}/manage_plugins_cli.manifest)
  add_executable(manage-plugins-cli ${CMAKE_SOURCE_DIR}/cli/main.cpp ${mp_res_out}/cli_rc.o)
  target_compile_options(manage-plugins-cli PRIVATE ${MP_WARNINGS})
  # -municode: the entry point is wmain, so arguments arrive as UTF-16.
  target_link_options(manage-plugins-cli PRIVATE -mconsole -municode)
  target_link_libraries(manage-plugins-cli PRIVATE mp_cli mp_registry mp_extrainfo mp_catalogue
                        advapi32 kernel32)
  # The Windows tests start it from the directory of wine_tests.exe.
  set_target_properties(manage-plugins-cli PROPERTIES
    OUTPUT_NAME manage-plugins-cli
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

  function(mp_cli_tests_need_program)
    if(TARGET wine_tests)
      add_dependencies(wine_tests manage-plugins-cli)
    endif()
  endfunction()
  cmake_language(DEFER CALL mp_cli_tests_need_program)
endif()
