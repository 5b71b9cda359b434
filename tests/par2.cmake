# The PAR2 component. Its arithmetic and a round trip in memory under Wine,
# built by this (MinGW) build from the same source as the Linux side:
velmora_gtest(par2_field_tests SOURCES par2/field_tests.cpp par2/roundtrip_tests.cpp LIBS par2_core)

# The Linux side against Debian's par2: a native build of its own
# (tests/par2/CMakeLists.txt) made by the first test, then one CTest test
# per suite of its tables.
set(par2_host ${CMAKE_BINARY_DIR}/par2-host)
add_test(NAME par2_host_build
  COMMAND sh -c "cmake -S '${CMAKE_CURRENT_SOURCE_DIR}/par2' -B '${par2_host}' -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build '${par2_host}' -j 2 -- --no-print-directory")
set_tests_properties(par2_host_build PROPERTIES FIXTURES_SETUP par2_host TIMEOUT 600)
set(par2_suites Rfc1321/Md5Vectors Gf16Field Gf16Paths Par2/WrittenSets WrittenSets
                WrittenPackets Par2Create/CreatedSets CreatedSets WriterFaults RepairFaults MemoryRoundTrip)
set(listed "")
foreach(suite IN LISTS par2_suites)
  string(REPLACE "/" "_" name ${suite})
  add_test(NAME par2_linux_${name} COMMAND ${par2_host}/par2_host_tests --gtest_filter=${suite}.*)
  set_tests_properties(par2_linux_${name} PROPERTIES FIXTURES_REQUIRED par2_host TIMEOUT 300)
  string(APPEND listed ":${suite}.*")
endforeach()
# Whatever suite the list above misses still runs, here.
string(SUBSTRING "${listed}" 1 -1 listed)
add_test(NAME par2_linux_unlisted COMMAND ${par2_host}/par2_host_tests --gtest_filter=-${listed})
set_tests_properties(par2_linux_unlisted PROPERTIES FIXTURES_REQUIRED par2_host TIMEOUT 300)

# The benchmark's i686 program (bench/bench_par2.sh runs it under Wine and
# the native one beside it).
add_executable(par2_bench ${CMAKE_SOURCE_DIR}/bench/par2_bench.cpp)
target_link_libraries(par2_bench PRIVATE par2_core)
