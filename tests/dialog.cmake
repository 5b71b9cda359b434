# Tests of the splitter's dialog: its plain logic in one process, and the real
# velmora.exe worked from outside through its windows (under Wine and Xvfb).
set(dialog_dir ${CMAKE_SOURCE_DIR}/splitter)

velmora_gtest(dialog_logic_tests SOURCES dialog_logic_tests.cpp
  ${dialog_dir}/spin_value.cpp ${dialog_dir}/source_file_name.cpp
  ${dialog_dir}/exception_message.cpp ${dialog_dir}/dialog_font.cpp
  LIBS gdi32)
target_include_directories(dialog_logic_tests PRIVATE ${dialog_dir})

# Drive A: as a 1440k floppy for the autodetect case (skips where mounting is refused).
add_test(NAME floppy_drive_setup COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/floppy_drive.sh ${CMAKE_BINARY_DIR} setup)
add_test(NAME floppy_drive_cleanup COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/floppy_drive.sh ${CMAKE_BINARY_DIR} cleanup)
set_tests_properties(floppy_drive_setup PROPERTIES FIXTURES_SETUP floppy_a RESOURCE_LOCK drive_a)
set_tests_properties(floppy_drive_cleanup PROPERTIES FIXTURES_CLEANUP floppy_a RESOURCE_LOCK drive_a)

# One velmora window on the screen at a time. (gtest_discover_tests writes
# PROPERTIES out as plain words: one fixture and one lock name each.)
add_executable(dialog_ui_tests dialog_ui_tests.cpp dialog_layout_tests.cpp dialog_ui_support.cpp
  test_support.cpp)
target_include_directories(dialog_ui_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${dialog_dir})
target_link_libraries(dialog_ui_tests PRIVATE gtest gtest_main)
add_dependencies(dialog_ui_tests velmora joiner vornex)
gtest_discover_tests(dialog_ui_tests
  DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  PROPERTIES FIXTURES_REQUIRED floppy_a RESOURCE_LOCK velmora_dialog TIMEOUT 240)

# A picture of the dialog among the test outputs: build/tests/dialog.png.
add_test(NAME dialog_screenshot
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/dialog_screenshot.sh ${CMAKE_BINARY_DIR}
          ${CMAKE_CURRENT_BINARY_DIR}/dialog.png)
set_tests_properties(dialog_screenshot PROPERTIES RESOURCE_LOCK velmora_dialog SKIP_RETURN_CODE 77
  TIMEOUT 60)
