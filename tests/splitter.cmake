# Tests of the splitter: the set format, the engine writing real sets that the
# real joiner rebuilds, the worker, and the PE tables of velmora.exe.
set(split_support ${CMAKE_CURRENT_SOURCE_DIR}/split_test_support.cpp)

velmora_gtest(split_format_tests SOURCES split_format_tests.cpp LIBS splitter_core)
velmora_gtest(set_integrity_tests SOURCES set_integrity_tests.cpp LIBS split_set_format)
velmora_gtest(split_engine_tests SOURCES split_engine_tests.cpp ${split_support} LIBS splitter_core)
add_dependencies(split_engine_tests velmora joiner)
velmora_gtest(split_worker_tests SOURCES split_worker_tests.cpp ${split_support} LIBS splitter_worker)
add_dependencies(split_worker_tests velmora)

velmora_gtest(split_command_line_tests SOURCES split_command_line_tests.cpp ${split_support}
  LIBS splitter_core splitter_texts)
add_dependencies(split_command_line_tests velmora joiner)

add_test(NAME velmora_imports
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/check_pe_tables.sh imports $<TARGET_FILE:velmora>
          _vornex_init_cab@4 _vornex_add_file@16 _vornex_close_cab@4)
# The command line starts without the window libraries: velmora.exe loads
# them at the dialog's first call (delay-loaded), so its import table names none.
add_test(NAME velmora_window_libraries_delay_loaded
  COMMAND sh -c "! ${CMAKE_OBJDUMP} -p \"$1\" | grep -iE 'DLL Name: (user32|gdi32|comctl32|comdlg32|shell32|ole32)'"
          sh $<TARGET_FILE:velmora>)
# ... and nothing linked into it calls them through an import slot, which
# the delay-loaded libraries leave empty (a call there would jump to 0).
add_test(NAME velmora_window_calls_by_name
  COMMAND sh -c "export LC_ALL=C; cat \"$0\"/lib*_delay.a.def | sed 's/^/__imp__/' | sort -u > \"$0/window_calls\" &&
                 for lib; do ${CMAKE_NM} -u \"$lib\" | sed 's/.* //' | sort -u | comm -12 - \"$0/window_calls\"; done |
                 grep . && exit 1 || exit 0"
          ${CMAKE_BINARY_DIR}/splitter $<TARGET_FILE:splitter_core> $<TARGET_FILE:splitter_texts>
          $<TARGET_FILE:splitter_console> $<TARGET_FILE:splitter_worker> $<TARGET_FILE:win32_support>
          $<TARGET_FILE:par2_writer> $<TARGET_FILE:par2_core>)
# velmora.exe carries the joiner image, byte for byte, at its fixed offset.
add_test(NAME velmora_carries_joiner_image
  COMMAND sh -c "cmp -n 6656 -i 458752:0 \"$0\" \"$1\" && test $(stat -c %s \"$0\") -eq 465408"
          $<TARGET_FILE:velmora> $<TARGET_FILE:joiner>)

# A compressed set's payload checked by cabextract and gcab, and rebuilt.
add_test(NAME compressed_set_linux_check
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/split_cab_check.sh ${CMAKE_BINARY_DIR})
set_tests_properties(compressed_set_linux_check PROPERTIES TIMEOUT 120)

# Checksum files and integrity records checked by cksfv and Python's zlib.
add_test(NAME split_checksums_linux_check
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/split_sfv_check.sh ${CMAKE_BINARY_DIR})
set_tests_properties(split_checksums_linux_check PROPERTIES TIMEOUT 120)

# Recovery volumes checked and used by Debian's par2.
add_test(NAME split_par2_linux_check
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/split_par2_check.sh ${CMAKE_BINARY_DIR})
set_tests_properties(split_par2_linux_check PROPERTIES TIMEOUT 300)

# Drive A: as a 1440 KiB tmpfs for the floppy tests (they skip without it).
add_test(NAME floppy_mount COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/floppy_fixture.sh setup ${CMAKE_BINARY_DIR})
add_test(NAME floppy_unmount COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/floppy_fixture.sh cleanup ${CMAKE_BINARY_DIR})
set_tests_properties(floppy_mount PROPERTIES FIXTURES_SETUP floppy RESOURCE_LOCK floppy)
set_tests_properties(floppy_unmount PROPERTIES FIXTURES_CLEANUP floppy RESOURCE_LOCK floppy)
velmora_gtest(split_floppy_tests REQUIRES floppy LOCK floppy
  SOURCES split_floppy_tests.cpp ${split_support} LIBS splitter_core splitter_texts)
add_dependencies(split_floppy_tests velmora joiner)
add_test(NAME split_par2_floppy_check
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/split_par2_check.sh ${CMAKE_BINARY_DIR} floppy)
set_tests_properties(split_par2_floppy_check PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED floppy
                     RESOURCE_LOCK floppy)

# Sets rebuilt on a machine without velmora: the library cases above, again
# in a fresh Wine prefix of their own (about 20 s to make).
add_test(NAME fresh_prefix_library_check
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/fresh_prefix_check.sh ${CMAKE_BINARY_DIR})
set_tests_properties(fresh_prefix_library_check PROPERTIES TIMEOUT 400)

# The floors of the split's and the join's block rules, for bench/bench_split.sh.
add_executable(block_floor ${CMAKE_SOURCE_DIR}/bench/block_floor.cpp)
target_link_libraries(block_floor PRIVATE split_set_format)
