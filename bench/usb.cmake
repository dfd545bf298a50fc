# Register transactions through the USB backend against the bridge firmware
# model, beside the simulated bridge.
if(TARGET tunedesk_core AND TARGET ch347usb_model)
  add_executable(bench_usb ${CMAKE_CURRENT_LIST_DIR}/bench_usb.cpp)
  target_link_libraries(bench_usb PRIVATE tunedesk_core ch347usb_model benchmark::benchmark benchmark::benchmark_main)
endif()
