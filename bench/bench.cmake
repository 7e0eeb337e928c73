# Catalogue rebuild benchmark: generates large registries through the
# registry functions and times rebuild_catalogue, and the .reg backup of
# every filter. Run by hand, never by CTest.
add_executable(catalogue_bench ${CMAKE_SOURCE_DIR}/bench/catalogue_bench.cpp
                               ${CMAKE_SOURCE_DIR}/tests/common/reg_fixture.cpp)
target_include_directories(catalogue_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(catalogue_bench PRIVATE ${MP_WARNINGS})
target_link_libraries(catalogue_bench PRIVATE mp_registry mp_catalogue mp_platform)

# A benchmark of the real main window (Windows only, run under Wine).
function(mp_window_bench name)
  add_executable(${name} ${CMAKE_SOURCE_DIR}/bench/${name}.cpp
                         ${CMAKE_SOURCE_DIR}/tests/common/reg_fixture.cpp
                         ${CMAKE_BINARY_DIR}/resources/app_rc.o)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${MP_WARNINGS})
  target_link_libraries(${name} PRIVATE mp_ui mp_registry mp_extrainfo mp_catalogue
                        user32 gdi32 comctl32 shell32 advapi32 kernel32)
  # The resources object is made by the program's rules; build it there first.
  add_dependencies(${name} ManagePlugins)
endfunction()

if(MP_WINDOWS AND TARGET mp_ui)
  # The main window over 10,000 plug-ins: the refresh, the sorts, Disable and
  # Enable, beside the rebuild alone.
  mp_window_bench(window_bench)

  # The main window while it reads the DLL files of 1,000 plug-ins, each with
  # its own copy of a test DLL: launch to rows with and without the reading,
  # until every cell is filled, and the answer time meanwhile.
  mp_window_bench(files_bench)
  # The file copied for each plug-in; without the test DLLs, kernel32.dll.
  if(TARGET test_dlls)
    add_dependencies(files_bench test_dlls)
    target_compile_definitions(files_bench PRIVATE
                               MP_BENCH_DLL="${CMAKE_BINARY_DIR}/test-dlls/x64_translated.dll")
  endif()
endif()
