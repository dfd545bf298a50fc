# Resident memory over 1,000,000 transactions on the simulated bridge (plain program).
if(TARGET tunedesk_core)
  add_executable(bench_simrecord ${CMAKE_CURRENT_LIST_DIR}/bench_simrecord.cpp)
  target_link_libraries(bench_simrecord PRIVATE tunedesk_core ch347dll)
endif()
