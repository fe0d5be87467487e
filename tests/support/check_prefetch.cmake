# Checks that the sheet parsers still fetch a shared string's place as its
# cell is read: their objects must hold prefetch instructions. A compiler
# that drops those fetches fails no other test, and costs the reading thread
# a fifth of its time on a large string table.
#   cmake -DOBJDUMP=<objdump> -DOBJECTS=<object|object|...> -P check_prefetch.cmake
cmake_minimum_required(VERSION 3.24)
string(REPLACE "|" ";" objects "${OBJECTS}")
set(checked 0)
foreach(object ${objects})
  if(object MATCHES "(xlsx|xlsb)_sheet\\.cpp\\.o(bj)?$")
    execute_process(COMMAND ${OBJDUMP} -d ${object} OUTPUT_VARIABLE text RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${OBJDUMP} could not read ${object}")
    endif()
    if(NOT text MATCHES "prefetch")
      message(FATAL_ERROR "${object} holds no prefetch instruction: the fetch of shared strings ahead was dropped")
    endif()
    math(EXPR checked "${checked} + 1")
  endif()
endforeach()
if(NOT checked EQUAL 2)
  message(FATAL_ERROR "the two sheet parsers are not among the reader's objects (found ${checked})")
endif()
message(STATUS "both sheet parsers fetch shared strings ahead")
