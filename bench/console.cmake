# EDID read and write of the register console against the simulated chip.
if(TARGET tunedesk_gui)
  add_executable(bench_console ${CMAKE_CURRENT_LIST_DIR}/bench_console.cpp)
  target_link_libraries(bench_console PRIVATE tunedesk_gui ch347dll benchmark::benchmark benchmark::benchmark_main)
endif()
