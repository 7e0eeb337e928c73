# Catalogue rebuild benchmark: generates large registries through the
# registry functions and times rebuild_catalogue. Run by hand, never by CTest.
add_executable(catalogue_bench ${CMAKE_SOURCE_DIR}/bench/catalogue_bench.cpp
                               ${CMAKE_SOURCE_DIR}/tests/common/reg_fixture.cpp)
target_include_directories(catalogue_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(catalogue_bench PRIVATE ${MP_WARNINGS})
target_link_libraries(catalogue_bench PRIVATE mp_catalogue mp_platform)
