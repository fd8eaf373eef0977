# GoogleTest from Debian's sources, compiled in each build, and the helper
# that registers a test program with CTest.
set(TOOLKIT_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${TOOLKIT_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

include(GoogleTest)

# toolkit_add_test(NAME SOURCES... LIBS...): one test program. Natively every
# test case becomes a CTest test named after the program and the case
# (`ctest -R package_test` selects a program's cases); in the Windows build the
# program runs as one CTest test through the wine runner
# (CMAKE_CROSSCOMPILING_EMULATOR), so that wine starts once per program rather
# than once per case.
function(toolkit_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
  else()
    gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_MODE PRE_TEST)
  endif()
endfunction()
