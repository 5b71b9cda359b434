# The cabinet builder and the folder and one-step operations.
#
# The gtest programs build cabinets into build/built (with expectation files
# beside them) and read them back through the library's reader; afterwards
# check_built_cabinets.sh reads every one of them with cabextract and gcab.

set(BUILT_CABINETS ${CMAKE_BINARY_DIR}/built)

# Every run starts from an empty build/built, so that the check sees only the
# cabinets of this run.
add_test(NAME built_cabinets_clear COMMAND ${CMAKE_COMMAND} -E rm -rf ${BUILT_CABINETS})
set_tests_properties(built_cabinets_clear PROPERTIES FIXTURES_SETUP built_clean)

# The engine callbacks and the stored-name rule, linked directly.
velmora_gtest(builder_callback_tests REQUIRES built_clean SETUP built_cabinets
  SOURCES builder_callback_tests.cpp built_cabinets.cpp LIBS vornex_core vornex_import)
# The exports through the real export table and the real engine.
velmora_gtest(builder_tests REQUIRES built_clean SETUP built_cabinets
  SOURCES builder_tests.cpp built_cabinets.cpp LIBS vornex_import)
velmora_gtest(folder_tests REQUIRES built_clean SETUP built_cabinets
  SOURCES folder_tests.cpp built_cabinets.cpp LIBS vornex_import)

add_test(NAME built_cabinets_read_by_cabextract_and_gcab
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/check_built_cabinets.sh ${BUILT_CABINETS})
set_tests_properties(built_cabinets_read_by_cabextract_and_gcab PROPERTIES
  FIXTURES_REQUIRED built_cabinets TIMEOUT 120)

# The benchmark's driver (bench/bench_cabinet.sh): one cabinet from a list file
# through vornex_add_files_one_step.
add_executable(bench_cabinet_driver ${CMAKE_SOURCE_DIR}/bench/bench_cabinet_driver.cpp)
target_link_libraries(bench_cabinet_driver PRIVATE vornex_import)

# The library on a full drive A: (the floppy fixture of splitter.cmake), with
# the real joiner run on a compressed set.
if(TARGET splitter_core)
  velmora_gtest(cabinet_floppy_tests REQUIRES floppy LOCK floppy
    SOURCES cabinet_floppy_tests.cpp ${CMAKE_CURRENT_SOURCE_DIR}/split_test_support.cpp
    LIBS splitter_core vornex_import)
  add_dependencies(cabinet_floppy_tests velmora joiner)
endif()

# The bad-input campaign (tests/damage_campaign.cpp): seed 1, scale 1. It
# prints its figures; a larger run is tests/run_campaign.sh SEED SCALE.
add_executable(damage_campaign damage_campaign.cpp raw_cabinet.cpp test_support.cpp)
target_include_directories(damage_campaign PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(damage_campaign PRIVATE vornex_import)
add_test(NAME damage_campaign COMMAND damage_campaign 1 1)
set_tests_properties(damage_campaign PROPERTIES FIXTURES_REQUIRED "testdata;floppy"
  RESOURCE_LOCK floppy TIMEOUT 600)
