# Tests of the splitter's dialog: its plain logic in one process, and the real
# velmora.exe worked from outside through its windows (under Wine and Xvfb).
set(dialog_dir ${CMAKE_SOURCE_DIR}/splitter/dialog)

velmora_gtest(dialog_logic_tests SOURCES dialog_logic_tests.cpp
  ${dialog_dir}/spin_value.cpp ${dialog_dir}/source_file_name.cpp
  ${dialog_dir}/exception_message.cpp ${dialog_dir}/dialog_font.cpp
  LIBS gdi32 win32_support)
target_include_directories(dialog_logic_tests PRIVATE ${dialog_dir})

# The driver finds velmora's windows by its process, but the cases still run
# one at a time: the screenshot takes the whole screen, and the Break and Close
# cases should not compete with each other for the CPU. (gtest_discover_tests
# writes PROPERTIES out as plain words: one fixture and one lock name each.)
add_executable(dialog_ui_tests dialog_ui_tests.cpp dialog_layout_tests.cpp dialog_ui_support.cpp
  test_support.cpp)
target_include_directories(dialog_ui_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${dialog_dir})
target_link_libraries(dialog_ui_tests PRIVATE gtest gtest_main)
add_dependencies(dialog_ui_tests velmora joiner vornex)
gtest_discover_tests(dialog_ui_tests TEST_FILTER "-*Floppy*"
  DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  PROPERTIES RESOURCE_LOCK velmora_dialog TIMEOUT 240)
# The autodetect case on drive A:, the 1440 KiB tmpfs of the floppy fixture
# (tests/splitter.cmake); it skips where mounting is refused.
gtest_discover_tests(dialog_ui_tests TEST_FILTER "*Floppy*"
  DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  PROPERTIES FIXTURES_REQUIRED floppy RESOURCE_LOCK floppy TIMEOUT 240)

# A picture of the dialog among the test outputs: build/tests/dialog.png.
add_test(NAME dialog_screenshot
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/dialog_screenshot.sh ${CMAKE_BINARY_DIR}
          ${CMAKE_CURRENT_BINARY_DIR}/dialog.png)
set_tests_properties(dialog_screenshot PROPERTIES RESOURCE_LOCK velmora_dialog SKIP_RETURN_CODE 77
  TIMEOUT 60)

# The benchmark's driver (bench/bench_split.sh): one split through the dialog
# worked from outside, or through velmora.exe's command line, timed in Wine.
add_executable(bench_split_driver ${CMAKE_SOURCE_DIR}/bench/bench_split_driver.cpp
  dialog_ui_support.cpp test_support.cpp)
target_include_directories(bench_split_driver PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${dialog_dir})
add_dependencies(bench_split_driver velmora joiner vornex)
