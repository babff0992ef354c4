# Makes FOLDER afresh and copies FILES into it: the folder a Windows test
# program runs from, holding the DLLs it is to load beside it.
#   cmake -DFOLDER=... -DFILES=a;b -P stage.cmake
file(REMOVE_RECURSE ${FOLDER})
file(MAKE_DIRECTORY ${FOLDER})
foreach(file IN LISTS FILES)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "missing: ${file}")
  endif()
  file(COPY ${file} DESTINATION ${FOLDER})
endforeach()
