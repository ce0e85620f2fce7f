# GoogleTest from the system's sources, built with the project's own flags for
# every preset (native, sanitized, and mingw-w64), and a helper that declares
# one test program.
include(GoogleTest)

set(LORVANE_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${LORVANE_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found at ${LORVANE_GOOGLETEST_SOURCE_DIR}; run scripts/bootstrap")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${LORVANE_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL SYSTEM)

# lorvane_add_test(name SOURCES ... [LIBRARIES ...] [LABELS ...] [TIMEOUT s] [SERIAL])
# One GoogleTest program; its cases are discovered when the tests run (under
# Wine in the Windows build), each becoming one ctest test. SERIAL runs its
# cases with no other test beside them: for tests that read the screen or
# send real input, which another test's windows would disturb.
function(lorvane_add_test name)
  cmake_parse_arguments(ARG "SERIAL" "TIMEOUT" "SOURCES;LIBRARIES;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  lorvane_warnings(${name})
  # Discovered tests take the first label only: the property list is passed
  # on flattened.
  set(properties TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    list(GET ARG_LABELS 0 label)
    list(APPEND properties LABELS ${label})
  endif()
  if(ARG_SERIAL)
    list(APPEND properties RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    PROPERTIES ${properties})
endfunction()

# A HOME folder for one test process under Wine whose .asoundrc makes ALSA's
# default device write everything played, unpaced, into HOME/capture.raw.
# Sets ENV_VAR in the caller to the test's environment (HOME and
# LORVANE_CAPTURE, where the program finds the file).
function(lorvane_capture_home folder env_var)
  set(capture ${folder}/capture.raw)
  file(MAKE_DIRECTORY ${folder})
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/desktop-sound alsa ${folder}/.asoundrc
                          unpaced ${capture}
                  RESULT_VARIABLE written)
  if(NOT written EQUAL 0)
    message(FATAL_ERROR "scripts/desktop-sound could not write ${folder}/.asoundrc")
  endif()
  set(${env_var} "HOME=${folder};LORVANE_CAPTURE=${capture}" PARENT_SCOPE)
endfunction()
