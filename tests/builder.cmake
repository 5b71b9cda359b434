# The cabinet builder and the folder and one-step operations.
#
# The gtest programs build cabinets into build/built (with expectation files
# beside them) and read them back through the library's reader; afterwards
# check_built_cabinets.sh reads every one of them with cabextract and gcab.

set(BUILT_CABINETS ${CMAKE_BINARY_DIR}/built)

function(builder_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} test_support.cpp)
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE gtest gtest_main ${T_LIBS})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES FIXTURES_REQUIRED testdata FIXTURES_SETUP built_cabinets TIMEOUT 120)
endfunction()

# The engine callbacks and the stored-name rule, linked directly.
builder_gtest(builder_callback_tests SOURCES builder_callback_tests.cpp built_cabinets.cpp
  LIBS vornex_core vornex_import)
# The exports through the real export table and the real engine.
builder_gtest(builder_tests SOURCES builder_tests.cpp built_cabinets.cpp LIBS vornex_import)
builder_gtest(folder_tests SOURCES folder_tests.cpp built_cabinets.cpp LIBS vornex_import)

add_test(NAME built_cabinets_read_by_cabextract_and_gcab
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/check_built_cabinets.sh ${BUILT_CABINETS})
set_tests_properties(built_cabinets_read_by_cabextract_and_gcab PROPERTIES
  FIXTURES_REQUIRED built_cabinets TIMEOUT 120)

# The benchmark's driver: one cabinet from a path list file through
# vornex_add_files_one_step.
add_executable(bench_cabinet_driver ${CMAKE_SOURCE_DIR}/bench/bench_cabinet_driver.cpp)
target_link_libraries(bench_cabinet_driver PRIVATE vornex_import)
