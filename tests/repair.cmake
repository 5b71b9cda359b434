# Repair from PAR2 recovery volumes: par2 repair, velmora.exe /repair and
# velmora-join on the same losses of sets velmora.exe /split made.
add_test(NAME repair_from_recovery_volumes
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/repair_tests.py ${CMAKE_BINARY_DIR})
set_tests_properties(repair_from_recovery_volumes PROPERTIES TIMEOUT 600)
