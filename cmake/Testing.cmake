# GoogleTest from Debian's sources, compiled in each build, and the helper
# that registers a test program with CTest.
set(TOOLKIT_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${TOOLKIT_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

include(GoogleTest)

# toolkit_add_test(NAME [OWN_MAIN] [TIMEOUT SECONDS] SOURCES... LIBS...
#                  DEPENDS...): one test program. Natively every test case
# becomes a CTest test named after the program and the case
# (`ctest -R package_test` selects a program's cases); in the Windows build
# the program runs as one CTest test through the wine runner
# (CMAKE_CROSSCOMPILING_EMULATOR), so that wine starts once per program
# rather than once per case.
#   SOURCES   may hold resource scripts (.rc) in the Windows build
#   OWN_MAIN  the program has its own main (or wmain) and runs the tests
#             itself; it links GoogleTest without gtest_main
#   DEPENDS   targets built before the program: the programs it starts
#   TIMEOUT   CTest's time limit for the program (for each case natively)
function(toolkit_add_test name)
  cmake_parse_arguments(ARG "OWN_MAIN" "TIMEOUT" "SOURCES;LIBS;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  endif()
  if(ARG_DEPENDS)
    add_dependencies(${name} ${ARG_DEPENDS})
  endif()
  set(properties)
  if(ARG_TIMEOUT)
    set(properties TIMEOUT ${ARG_TIMEOUT})
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    if(properties)
      set_tests_properties(${name} PROPERTIES ${properties})
    endif()
  else()
    gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_MODE PRE_TEST
                         PROPERTIES ${properties})
  endif()
endfunction()
