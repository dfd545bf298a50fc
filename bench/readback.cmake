# Time from pressing "open" to the last read-back notification in the panel.
if(TARGET tunedesk_gui)
  add_executable(bench_readback ${CMAKE_CURRENT_LIST_DIR}/bench_readback.cpp)
  target_link_libraries(bench_readback PRIVATE tunedesk_gui ch347dll benchmark::benchmark benchmark::benchmark_main)
endif()
