# Build helpers shared by every folder: one library target per folder, its unit tests
# beside it, warnings as errors for our own code.

include(GoogleTest)
include(${CMAKE_CURRENT_LIST_DIR}/MessageTables.cmake)

set(TAMSEL_WARNINGS -Wall -Wextra -Wno-unused-parameter -Werror)
# GCC 12 reports -Wrestrict false positives inside libstdc++'s std::string concatenation at -O2
# (GCC bug 105329); the warning says nothing about our code there.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND TAMSEL_WARNINGS -Wno-restrict)
endif()

# tamsel_folder(<target> [SERVER_TESTS] [DEPS <targets>...] [SOURCES <extra sources>...]
#               [TEST_DEPS <targets>...])
# Builds every *.cpp of the current folder except *_test.cpp into a static library <target>,
# and every *_test.cpp into the test program <target>_test (label "unit"). SERVER_TESTS: the
# tests also run on the server engine and need the test PostgreSQL cluster.
function(tamsel_folder target)
  cmake_parse_arguments(ARG "SERVER_TESTS" "" "DEPS;SOURCES;TEST_DEPS" ${ARGN})
  file(GLOB all_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(lib_sources)
  set(test_sources)
  foreach(src IN LISTS all_sources)
    if(src MATCHES "_test\\.cpp$")
      list(APPEND test_sources ${src})
    elseif(NOT src MATCHES "_(main|fuzz|bench)\\.cpp$")
      list(APPEND lib_sources ${src})
    endif()
  endforeach()
  add_library(${target} STATIC ${lib_sources} ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${target} PRIVATE ${TAMSEL_WARNINGS})
  target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  if(test_sources)
    set(server_flag)
    if(ARG_SERVER_TESTS)
      set(server_flag SERVER_TESTS)
    endif()
    tamsel_test(${target}_test ${server_flag} SOURCES ${test_sources} DEPS ${target} ${ARG_TEST_DEPS})
  endif()
endfunction()

# tamsel_test(<name> [SERVER_TESTS] SOURCES ... DEPS ... [LABEL unit|e2e])
function(tamsel_test name)
  cmake_parse_arguments(ARG "SERVER_TESTS" "LABEL" "SOURCES;DEPS" ${ARGN})
  if(NOT ARG_LABEL)
    set(ARG_LABEL unit)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${TAMSEL_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} tamsel_testing GTest::gtest GTest::gmock GTest::gtest_main)
  if(ARG_SERVER_TESTS)
    gtest_discover_tests(${name}
      PROPERTIES LABELS ${ARG_LABEL} FIXTURES_REQUIRED pg
      DISCOVERY_TIMEOUT 60)
  else()
    gtest_discover_tests(${name}
      PROPERTIES LABELS ${ARG_LABEL}
      DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
