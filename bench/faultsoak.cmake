# Soak of the transaction layer under seeded faults (plain program, not run by CI).
if(TARGET tunedesk_core)
  add_executable(bench_faultsoak ${CMAKE_CURRENT_LIST_DIR}/bench_faultsoak.cpp)
  target_link_libraries(bench_faultsoak PRIVATE tunedesk_core ch347dll)
endif()
