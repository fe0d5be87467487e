# Fails unless the built library exports exactly Tabrevo_Converter and
# Tabrevo_ConverterStr. Run after every link with -DLIBRARY=<file>
# -DTOOL=<nm or objdump> -DWINDOWS=<ON|OFF>.
if(WINDOWS)
  execute_process(COMMAND ${TOOL} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  # The names follow the "[Ordinal/Name Pointer] Table" heading, one a line
  # ("\t[   0] Name"). Brackets go first: CMake lists do not split inside them.
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" table "${dump}")
  # (CMake's REGEX REPLACE anchors "^" again after every match, so the
  # heading is cut off by position.)
  string(FIND "${table}" "\n" eol)
  math(EXPR eol "${eol} + 1")
  string(SUBSTRING "${table}" ${eol} -1 table)
  string(REGEX REPLACE "[][]" "" table "${table}")
  string(REGEX MATCHALL "[0-9]+ [^\n]+" rows "${table}")
  set(names "")
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "[0-9]+ " "" row "${row}")
    list(APPEND names "${row}")
  endforeach()
else()
  execute_process(COMMAND ${TOOL} -D --defined-only --format=posix ${LIBRARY}
                  OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  string(REGEX MATCHALL "[^\n]+" rows "${dump}")
  set(names "")
  foreach(row IN LISTS rows)
    string(REGEX REPLACE " .*" "" row "${row}")
    list(APPEND names "${row}")
  endforeach()
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot list the exports of ${LIBRARY}")
endif()
list(SORT names)
if(NOT names STREQUAL "Tabrevo_Converter;Tabrevo_ConverterStr")
  message(FATAL_ERROR "${LIBRARY} must export exactly Tabrevo_Converter and Tabrevo_ConverterStr, exports: ${names}")
endif()
