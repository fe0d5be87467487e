# Checks the manual page: it describes every keyword the parameter parser
# knows, and groff formats it without a warning (when groff is installed).
#   cmake -DMANUAL=<tabrevo.1> -DPARSER=<engine/parameters.cpp> [-DGROFF=<groff>] -P check_manual.cmake
cmake_minimum_required(VERSION 3.24)
set(failures "")
file(READ ${MANUAL} manual)
# The manual writes a keyword in bold, its hyphens as \-: /FIELDS= as
# ".BI /FIELDS= x" or ".BR /QUOTES=1 ...".
string(REPLACE "\\-" "-" manual "${manual}")

# The words the parser's keyword table compares the keyword text k with
# (Prefix(k, "X="), EqualsNoCase(k, "X") and the forms {"X=1", ...} of
# Whole), up to their "=".
file(READ ${PARSER} parser)
string(REGEX MATCH "void ApplyKeyword[^\n]*\n(.*)\n}\n" _ "${parser}")
set(table "${CMAKE_MATCH_1}")
if(table STREQUAL "")
  list(APPEND failures "no keyword table found in ${PARSER}")
endif()
string(REGEX MATCHALL "(\\(k, |{)\"[A-Z][A-Z0-9]*(=[A-Z0-9]*)?\"" words "${table}")
set(count 0)
foreach(word ${words})
  string(REGEX MATCH "\"([A-Z0-9]+)" _ "${word}")
  set(name "${CMAKE_MATCH_1}")
  math(EXPR count "${count} + 1")
  if(NOT manual MATCHES "/${name}([= ,\n\"]|$)")
    list(APPEND failures "the manual page does not describe /${name}")
  endif()
endforeach()
if(count LESS 10)
  list(APPEND failures "only ${count} keywords found in ${PARSER}")
endif()

if(GROFF)
  execute_process(COMMAND ${GROFF} -man -Tutf8 -ww -z ${MANUAL} RESULT_VARIABLE rc ERROR_VARIABLE warnings)
  if(NOT rc EQUAL 0 OR NOT warnings STREQUAL "")
    list(APPEND failures "groff: ${warnings}")
  endif()
endif()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "The manual page is not sound:\n  ${text}")
endif()
message(STATUS "manual page: ${count} keyword forms described")
