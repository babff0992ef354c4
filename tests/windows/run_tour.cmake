# Runs the tour through the script host, leaving out the sections named in
# SKIP (a section runs from its "# --- name" header to the next header), in a
# scratch directory WORK, since the tour creates files in its working folder.
#   cmake -DEMULATOR=... -DHOST=... -DTOUR=... -DSKIP=a;b -DWORK=... -P run_tour.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
# Read whole (not as a list of lines) so that semicolons in the tour survive.
file(READ ${TOUR} tour)
foreach(section IN LISTS SKIP)
  string(FIND "${tour}" "\n# --- ${section}" begin)
  if(begin EQUAL -1)
    continue()
  endif()
  math(EXPR after "${begin} + 1")
  string(SUBSTRING "${tour}" ${after} -1 rest)
  string(FIND "${rest}" "\n# --- " next)
  string(SUBSTRING "${tour}" 0 ${begin} head)
  if(next EQUAL -1)
    set(tour "${head}\n")
  else()
    string(SUBSTRING "${rest}" ${next} -1 tail)
    set(tour "${head}${tail}")
  endif()
endforeach()
file(WRITE ${WORK}/tour.cvx "${tour}")

execute_process(COMMAND ${EMULATOR} ${HOST} tour.cvx WORKING_DIRECTORY ${WORK}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
message(STATUS "${out}${err}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the tour failed (exit status ${rc})")
endif()
