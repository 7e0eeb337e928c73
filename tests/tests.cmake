# Native: tests/native and tests/common in one sanitized binary.
# Windows: tests/wine and tests/common in one .exe, run under Wine.
set(GTEST_SRC /usr/src/googletest CACHE PATH "googletest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SRC} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB common_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/common/*.cpp)
if(MP_WINDOWS)
  file(GLOB own_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*.cpp)
  set(test_exe wine_tests)
else()
  file(GLOB own_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
  set(test_exe native_tests)
endif()

add_executable(${test_exe} ${common_tests} ${own_tests})
target_include_directories(${test_exe} PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(${test_exe} PRIVATE ${MP_WARNINGS})
target_link_libraries(${test_exe} PRIVATE mp_registry mp_extrainfo mp_catalogue mp_platform
                      gtest_main)
if(MP_WINDOWS AND TARGET mp_ui)
  target_link_libraries(${test_exe} PRIVATE mp_ui)
endif()
if(TARGET mp_cli)
  target_link_libraries(${test_exe} PRIVATE mp_cli)
endif()
if(NOT MP_WINDOWS)
  # What of the user interface needs no window is tested natively too.
  target_sources(${test_exe} PRIVATE ${CMAKE_SOURCE_DIR}/ui/layout.cpp
                 ${CMAKE_SOURCE_DIR}/ui/list_rows.cpp)
endif()
if(MP_WINDOWS)
  # The DLL reader is checked against GetFileVersionInfoW and VerQueryValueW.
  target_link_libraries(${test_exe} PRIVATE version)
  # Plug-ins are registered and enumerated through the platform's own filter
  # mapper and DMO functions.
  target_link_libraries(${test_exe} PRIVATE ole32 oleaut32 uuid strmiids msdmo dmoguids)
endif()
include(${CMAKE_SOURCE_DIR}/tests/dlls/dlls.cmake)

if(MP_WINDOWS)
  if(MP_RUN_WINE_TESTS)
    add_test(NAME wine_tests
             # Without a window manager Wine waits on every window it closes
             # unless its windows are unmanaged.
             COMMAND ${CMAKE_SOURCE_DIR}/tests/wine-run.sh
                     --seed ${CMAKE_SOURCE_DIR}/tests/wine/ui_unmanaged.reg
                     $<TARGET_FILE:${test_exe}> --gtest_brief=1)
    # The window again at 150 % and 200 %, in prefixes set to that DPI.
    foreach(dpi 144 192)
      add_test(NAME wine_ui_dpi_${dpi}
               COMMAND ${CMAKE_SOURCE_DIR}/tests/wine-run.sh
                       --seed ${CMAKE_SOURCE_DIR}/tests/wine/ui_unmanaged.reg
                       --seed ${CMAKE_SOURCE_DIR}/tests/wine/ui_dpi_${dpi}.reg
                       $<TARGET_FILE:${test_exe}> --gtest_brief=1
                       --gtest_filter=UiDisplayScale.*)
      set_tests_properties(wine_ui_dpi_${dpi} PROPERTIES ENVIRONMENT MP_EXPECT_DPI=${dpi})
    endforeach()
  endif()
else()
  add_test(NAME native_tests COMMAND ${test_exe} --gtest_brief=1)
  set_tests_properties(native_tests PROPERTIES
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1")
endif()
