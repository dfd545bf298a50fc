# SHA-512 and Ed25519 of utilcore beside libsodium's, measured in the same run.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(BENCH_SODIUM QUIET IMPORTED_TARGET libsodium)
endif()
if(BENCH_SODIUM_FOUND AND TARGET utilcore)
  add_executable(bench_crypto ${CMAKE_CURRENT_LIST_DIR}/bench_crypto.cpp)
  target_link_libraries(bench_crypto PRIVATE utilcore PkgConfig::BENCH_SODIUM
                        benchmark::benchmark benchmark::benchmark_main)
else()
  message(STATUS "bench_crypto skipped: libsodium not found")
endif()
