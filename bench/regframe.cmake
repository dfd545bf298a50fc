add_executable(bench_regframe ${CMAKE_CURRENT_LIST_DIR}/bench_regframe.cpp)
target_link_libraries(bench_regframe PRIVATE regframe benchmark::benchmark benchmark::benchmark_main)
