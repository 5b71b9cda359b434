# velmora-join, built natively into build/host by ./run build, on sets that
# velmora.exe /split makes under Wine: a table of sound and damaged cases.
add_test(NAME velmora_join_sets
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/hostjoin_tests.py ${CMAKE_BINARY_DIR})
set_tests_properties(velmora_join_sets PROPERTIES TIMEOUT 300)

# One set, one verdict: the same table of sets through every reader (the first
# piece, velmora.exe /verify and /join, velmora-join).
add_test(NAME readers_give_one_verdict
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/reader_verdicts_tests.py ${CMAKE_BINARY_DIR})
set_tests_properties(readers_give_one_verdict PROPERTIES TIMEOUT 300)
