# Catalogue rebuild benchmark: generates large registries through the
# registry functions and times rebuild_catalogue, and the .reg backup of
# every filter. Run by hand, never by CTest.
add_executable(catalogue_bench ${CMAKE_SOURCE_DIR}/bench/catalogue_bench.cpp
                               ${CMAKE_SOURCE_DIR}/tests/common/reg_fixture.cpp)
target_include_directories(catalogue_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(catalogue_bench PRIVATE ${MP_WARNINGS})
target_link_libraries(catalogue_bench PRIVATE mp_registry mp_catalogue mp_platform)

# The main window over 10,000 plug-ins (Windows only, run under Wine): the
# refresh, the sorts, Disable and Enable, beside the rebuild alone.
if(MP_WINDOWS AND TARGET mp_ui)
  add_executable(window_bench ${CMAKE_SOURCE_DIR}/bench/window_bench.cpp
                              ${CMAKE_SOURCE_DIR}/tests/common/reg_fixture.cpp
                              ${CMAKE_BINARY_DIR}/resources/app_rc.o)
  target_include_directories(window_bench PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(window_bench PRIVATE ${MP_WARNINGS})
  target_link_libraries(window_bench PRIVATE mp_ui mp_registry mp_extrainfo mp_catalogue
                        user32 gdi32 comctl32 shell32 advapi32 kernel32)
  # The resources object is made by the program's rules; build it there first.
  add_dependencies(window_bench ManagePlugins)
endif()

# The main window while it reads the DLL files of 1,000 plug-ins, each with
# its own copy of a test DLL (Windows only, run under Wine): launch to rows
# with and without the reading, until every cell is filled, and the answer
# time meanwhile.
if(MP_WINDOWS AND TARGET mp_ui)
  add_executable(files_bench ${CMAKE_SOURCE_DIR}/bench/files_bench.cpp
                             ${CMAKE_SOURCE_DIR}/tests/common/reg_fixture.cpp
                             ${CMAKE_BINARY_DIR}/resources/app_rc.o)
  target_include_directories(files_bench PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(files_bench PRIVATE ${MP_WARNINGS})
  target_link_libraries(files_bench PRIVATE mp_ui mp_registry mp_extrainfo mp_catalogue
                        user32 gdi32 comctl32 shell32 advapi32 kernel32)
  add_dependencies(files_bench ManagePlugins)
  # The file copied for each plug-in; without the test DLLs, kernel32.dll.
  if(TARGET test_dlls)
    add_dependencies(files_bench test_dlls)
    target_compile_definitions(files_bench PRIVATE
                               MP_BENCH_DLL="${CMAKE_BINARY_DIR}/test-dlls/x64_translated.dll")
  endif()
endif()
