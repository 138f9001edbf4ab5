# The Windows build's test rig: GoogleTest cross-built from the machine's sources, and every test
# run by CTest under Wine in this build's private prefix, inside one Wine session (fixture).
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Its targets are also known by the names that the host's GoogleTest package gives them
# (GTest::gtest_main, GTest::gmock_main), so that a test is declared once for both builds.

configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

# Each build runs in a prefix of its own architecture.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QUILLMARK_WINE_ARCH win64)
else()
  set(QUILLMARK_WINE_ARCH win32)
endif()
set(wine_session ${CMAKE_SOURCE_DIR}/cmake/wine-session.sh)
add_test(NAME wine_session_start
  COMMAND ${wine_session} start ${CMAKE_BINARY_DIR} ${QUILLMARK_WINE_ARCH})
add_test(NAME wine_session_stop COMMAND ${wine_session} stop ${CMAKE_BINARY_DIR})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine_session TIMEOUT 300)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine_session)

# Adds a cross-built GoogleTest program whose tests run under Wine in the shared session.
function(add_wine_test target)
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED wine_session TIMEOUT 600)
endfunction()
