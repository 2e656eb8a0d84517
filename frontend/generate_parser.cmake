# Writes the grammar that Bison reads: frontend/parser.y with its terminal
# declarations made from the TERMINAL lines of frontend/keywords.def, so the
# codes and printable names are written once.
#   cmake -DGRAMMAR=parser.y -DKEYWORDS=keywords.def -DOUTPUT=out.y -P generate_parser.cmake
file(STRINGS ${KEYWORDS} terminal_lines REGEX "^TERMINAL\\(")
set(tokens "")
foreach(line IN LISTS terminal_lines)
  if(NOT line MATCHES "^TERMINAL\\(([0-9]+), ([A-Za-z_0-9]+), (\".*\")\\)$")
    message(FATAL_ERROR "unreadable terminal line: ${line}")
  endif()
  string(APPEND tokens "%token <tok> ${CMAKE_MATCH_2} ${CMAKE_MATCH_1} ${CMAKE_MATCH_3}\n")
endforeach()
file(READ ${GRAMMAR} grammar)
string(FIND "${grammar}" "%terminals_from_keywords_def\n" marker)
if(marker EQUAL -1)
  message(FATAL_ERROR "${GRAMMAR} has no %terminals_from_keywords_def line")
endif()
string(REPLACE "%terminals_from_keywords_def\n" "${tokens}" grammar "${grammar}")
file(WRITE ${OUTPUT}.tmp "${grammar}")
# Unchanged output keeps its time stamp, so Bison does not run for nothing.
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
