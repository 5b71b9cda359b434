# The dialog's part of velmora.exe: sources and the libraries they need.
set(VELMORA_UI_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/app_main.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/main_dialog.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/dialog_font.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/message_pump.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/child_controls.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/button_edit.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/spin_edit.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/spin_value.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/browse_dialogs.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/source_file_name.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/exception_message.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/terminate_handler.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/resources.rc
)
set(VELMORA_UI_LIBS comctl32 comdlg32 shell32 ole32 gdi32 user32)
# windres looks for banner.bmp and dialog_ids.h in the include directories;
# the resources are rebuilt when either changes.
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/resources.rc PROPERTIES
  INCLUDE_DIRECTORIES ${CMAKE_CURRENT_SOURCE_DIR}
  OBJECT_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/banner.bmp;${CMAKE_CURRENT_SOURCE_DIR}/dialog_ids.h")
