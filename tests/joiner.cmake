# Tests of joiner.exe: its size and imports, and the real program run on sets.
add_test(NAME joiner_imports
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/check_pe_tables.sh imports $<TARGET_FILE:joiner>
          _vornex_init_uncab@4 _vornex_uncab_all@4 _vornex_close_uncab@4)
add_test(NAME joiner_image_size COMMAND sh -c "test $(stat -c %s \"$0\") -eq 6656" $<TARGET_FILE:joiner>)

velmora_gtest(joiner_tests SOURCES joiner_tests.cpp ${CMAKE_CURRENT_SOURCE_DIR}/split_test_support.cpp
              LIBS splitter_core)
add_dependencies(joiner_tests joiner)

# The campaign of damaged sets against the real joiner, in four seeded runs.
velmora_gtest(joiner_campaign_tests SOURCES joiner_campaign_tests.cpp
              ${CMAKE_CURRENT_SOURCE_DIR}/split_test_support.cpp LIBS splitter_core)
add_dependencies(joiner_campaign_tests joiner)

# Damaged copies of sets made by the real splitter, joined by their first piece.
velmora_gtest(joiner_checksum_tests SOURCES joiner_checksum_tests.cpp
              ${CMAKE_CURRENT_SOURCE_DIR}/split_test_support.cpp LIBS splitter_core)
add_dependencies(joiner_checksum_tests joiner velmora)
