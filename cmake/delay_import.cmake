# Writes a delay-load import library for one system DLL, made from the
# toolchain's own import library: the same functions, each loaded with its
# DLL only when first called (the DLL's start-up is then paid only by the
# runs that use it).
#   cmake -DNM=nm -DDLLTOOL=dlltool -DIMPLIB=libuser32.a -DDLL=user32.dll
#         -DOUT=libuser32_delay.a -P delay_import.cmake
execute_process(COMMAND ${NM} ${IMPLIB} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} ${IMPLIB} failed")
endif()
string(REGEX MATCHALL " I __imp__[^\r\n]+" imports "${symbols}")
set(names "")
foreach(import IN LISTS imports)
  string(REGEX REPLACE "^ I __imp__" "" name "${import}")
  list(APPEND names "${name}")
endforeach()
list(REMOVE_DUPLICATES names)
list(JOIN names "\n" lines)
file(WRITE ${OUT}.def "LIBRARY ${DLL}\nEXPORTS\n${lines}\n")
execute_process(COMMAND ${DLLTOOL} -k -d ${OUT}.def -y ${OUT} -D ${DLL} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${DLLTOOL} could not write ${OUT}")
endif()
