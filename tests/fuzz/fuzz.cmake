# libFuzzer targets, built with clang (-DMP_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++).
foreach(target fuzz_plugins fuzz_text fuzz_dll fuzz_filter_data)
  add_executable(${target} ${CMAKE_SOURCE_DIR}/tests/fuzz/${target}.cpp
                           ${CMAKE_SOURCE_DIR}/tests/common/reg_fixture.cpp)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${target} PRIVATE ${MP_WARNINGS})
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${target} PRIVATE mp_registry mp_extrainfo mp_catalogue mp_platform)
endforeach()
target_sources(fuzz_text PRIVATE ${CMAKE_SOURCE_DIR}/ui/layout.cpp
                                 ${CMAKE_SOURCE_DIR}/ui/list_rows.cpp)
