# The joiner image's size and its offset inside velmora.exe, read once from
# the split set format, the one place they are defined: the joiner's build
# pads its image to the size, velmora.exe's build places the image at the
# offset. Included once by the top-level CMakeLists.txt.
file(STRINGS ${CMAKE_SOURCE_DIR}/format/split_set_format.h format_lines
     REGEX "constexpr uint32_t kJoinerImage(Size|Offset) = [0-9]+;")
foreach(line IN LISTS format_lines)
  if(line MATCHES "kJoinerImageSize = ([0-9]+);")
    set(JOINER_IMAGE_SIZE ${CMAKE_MATCH_1})
  elseif(line MATCHES "kJoinerImageOffset = ([0-9]+);")
    set(JOINER_IMAGE_OFFSET ${CMAKE_MATCH_1})
  endif()
endforeach()
if(NOT JOINER_IMAGE_SIZE OR NOT JOINER_IMAGE_OFFSET)
  message(FATAL_ERROR "format/split_set_format.h: kJoinerImageSize or kJoinerImageOffset not found")
endif()
