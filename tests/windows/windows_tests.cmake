# cvx_add_test for the Windows build. Starting a Windows process is costly
# where it runs under emulation, so the families' test sources are not built
# into one program each: cvx_add_test only collects them, and
# tests/windows/CMakeLists.txt builds them all into one test program that
# runs as one CTest test. PROPERTIES (database fixtures) do not apply there.
function(cvx_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBRARIES;PROPERTIES" ${ARGN})
  foreach(source IN LISTS T_SOURCES)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
    set_property(GLOBAL APPEND PROPERTY CVX_WINDOWS_TEST_SOURCES ${source})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY CVX_WINDOWS_TEST_LIBRARIES ${T_LIBRARIES})
endfunction()
