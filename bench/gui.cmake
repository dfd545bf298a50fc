# The panel's log path: AddLog from two threads, drained into the log view.
if(TARGET tunedesk_gui)
  add_executable(bench_gui ${CMAKE_CURRENT_LIST_DIR}/bench_gui.cpp)
  target_link_libraries(bench_gui PRIVATE tunedesk_gui ch347dll benchmark::benchmark benchmark::benchmark_main)
endif()
