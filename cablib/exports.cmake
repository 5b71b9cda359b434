# The library's exported names: plain name and argument bytes. Both the
# .def file for the DLL and the one for its import library are made from it.
set(VORNEX_EXPORTS
  vornex_init_cab@4
  vornex_close_cab@4
  vornex_add_file@16
  vornex_cab_progress@4
  vornex_add_folder@20
  vornex_add_files_one_step@20
  vornex_add_folders_one_step@24
  vornex_add_mix_one_step@28
  vornex_init_uncab@4
  vornex_close_uncab@4
  vornex_file_count@4
  vornex_file_name_by_no@12
  vornex_uncab_by_name@8
  vornex_uncab_by_name_ex@12
  vornex_uncab_all@4
  vornex_uncab_all_ex@8
)

# The DLL's table holds exactly "_name@N" (the linker's own decoration would
# give "name@N"); the import library maps a caller's stdcall symbol onto it.
function(vornex_write_def_files dll_def imp_def)
  set(dll "LIBRARY vornex.dll\nEXPORTS\n")
  set(imp "LIBRARY vornex.dll\nEXPORTS\n")
  foreach(e IN LISTS VORNEX_EXPORTS)
    string(APPEND dll "  _${e} = ${e}\n")
    string(APPEND imp "  ${e} == _${e}\n")
  endforeach()
  # Copied over only when the text changes, so a new configure does not relink.
  file(WRITE ${dll_def}.new "${dll}")
  file(WRITE ${imp_def}.new "${imp}")
  configure_file(${dll_def}.new ${dll_def} COPYONLY)
  configure_file(${imp_def}.new ${imp_def} COPYONLY)
endfunction()
