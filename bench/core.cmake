# Register transactions against the simulated chip, settings-file reads, busy wait.
if(TARGET tunedesk_core)
  add_executable(bench_core ${CMAKE_CURRENT_LIST_DIR}/bench_core.cpp)
  target_link_libraries(bench_core PRIVATE tunedesk_core ch347dll benchmark::benchmark benchmark::benchmark_main)
endif()
