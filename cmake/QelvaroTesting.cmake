# Test helpers shared by every tests/ folder.
#
#   qelvaro_add_test(NAME SOURCES a.cpp b.cpp LIBS lib... [ARGS arg...] [GUI])
#
# Native builds run the binary directly (label "native"). Windows builds run it under
# Wine in a throwaway prefix copied from the run's template prefix (label "wine");
# GUI tests also get an X display from Xvfb.

if(WIN32 AND NOT TARGET GTest::gtest)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/third_party/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gmock ALIAS gmock)
  endif()
elseif(NOT WIN32)
  find_package(GTest REQUIRED)
endif()

set(QELVARO_WINE_TEMPLATE "${CMAKE_BINARY_DIR}/wine-template")

function(qelvaro_add_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
  # The helpers tests share: a fake Windows tree, a recording Ui, inventory expectations.
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  target_compile_definitions(${name} PRIVATE
    QELVARO_CORPUS_DIR="${QELVARO_CORPUS_DIR}"
    QELVARO_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures")
  if(WIN32)
    set(runner "${CMAKE_SOURCE_DIR}/scripts/wine-run.sh")
    if(T_GUI)
      set(runner "${runner};--display")
    endif()
    add_test(NAME ${name} COMMAND ${runner} $<TARGET_FILE:${name}> ${T_ARGS})
    set_tests_properties(${name} PROPERTIES
      LABELS wine
      FIXTURES_REQUIRED wine_prefix
      ENVIRONMENT "QELVARO_WINE_TEMPLATE=${QELVARO_WINE_TEMPLATE}"
      TIMEOUT 600)
  else()
    add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
    set_tests_properties(${name} PROPERTIES LABELS native TIMEOUT 600)
  endif()
endfunction()

# The one template prefix of a test run; every Wine test copies it.
function(qelvaro_add_wine_fixture)
  if(WIN32 AND NOT TEST wine_prefix_template)
    add_test(NAME wine_prefix_template
             COMMAND "${CMAKE_SOURCE_DIR}/scripts/wine-template.sh" "${QELVARO_WINE_TEMPLATE}")
    set_tests_properties(wine_prefix_template PROPERTIES
      FIXTURES_SETUP wine_prefix LABELS wine TIMEOUT 300)
  endif()
endfunction()
