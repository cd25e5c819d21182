# The GoogleTest suite (tests/unit) and the end-to-end scripts (tests/e2e).
# GoogleTest is built from Debian's sources by whichever compiler this build
# uses: Debian's prebuilt libgtest is amd64 only.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_gtest EXCLUDE_FROM_ALL)
include(GoogleTest)

file(GLOB_RECURSE unit_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
if(WIN32)
  list(FILTER unit_sources EXCLUDE REGEX "_posix\\.cpp$")
else()
  list(FILTER unit_sources EXCLUDE REGEX "_win32\\.cpp$")
endif()
# Every test's time limit is multiplied by QOR_TEST_TIME_SCALE: where 32-bit
# programs run under emulation, tests take several times as long.
set(QOR_TEST_TIME_SCALE 1 CACHE STRING "Multiplies every test's time limit")
function(qor_time_limit out seconds)
  math(EXPR scaled "${seconds} * ${QOR_TEST_TIME_SCALE}")
  set(${out} ${scaled} PARENT_SCOPE)
endfunction()
qor_time_limit(QOR_LIMIT_120 120)
qor_time_limit(QOR_LIMIT_300 300)

add_executable(qor_tests ${unit_sources})
target_link_libraries(qor_tests PRIVATE qor_core GTest::gtest GTest::gtest_main)
target_compile_definitions(qor_tests PRIVATE QOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                             QOR_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
# One ctest entry per test suite, each running its suite's tests in one
# process: a process's start (and, where 32-bit programs run under
# emulation, the translation of its code) costs more than most tests, so
# batching them shortens the whole run several times over.  The suites are
# read from the sources, where every test is a TEST or TEST_F.
set(unit_suites)
foreach(source ${unit_sources})
  file(STRINGS ${source} test_lines REGEX "^[ \t]*TEST(_F)?\\([ \t]*[A-Za-z0-9_]+")
  foreach(line ${test_lines})
    string(REGEX REPLACE "^[ \t]*TEST(_F)?\\([ \t]*([A-Za-z0-9_]+).*" "\\2" suite "${line}")
    list(APPEND unit_suites ${suite})
  endforeach()
endforeach()
list(REMOVE_DUPLICATES unit_suites)
list(SORT unit_suites)
# A suite's limit covers all its tests.
if(WIN32)
  qor_time_limit(QOR_SUITE_TIMEOUT 300)
else()
  qor_time_limit(QOR_SUITE_TIMEOUT 600)
endif()
# The evaluator's and the natives' tests run once more through the
# interpreter's general path (the one tracing takes), which the shortcuts
# must match: the suites whose names begin with these.
set(QOR_REFERENCE_SUITES Actions Calls DeepEvaluation Exits FastPaths Interpreter Stacks EvalText Tracing
    Paths NativeArgumentChecks ChecksumNativeTest ControlNatives FuncNatives MathNatives RandomNativeTest
    SeriesNativesTest SetNatives SystemNativesTest WordNatives EvalPaths)
foreach(suite ${unit_suites})
  add_test(NAME ${suite} COMMAND qor_tests --gtest_brief=1 --gtest_filter=${suite}.*)
  set_tests_properties(${suite} PROPERTIES TIMEOUT ${QOR_SUITE_TIMEOUT})
  foreach(prefix ${QOR_REFERENCE_SUITES})
    string(FIND "${suite}" "${prefix}" at)
    if(at EQUAL 0)
      add_test(NAME reference.${suite} COMMAND qor_tests --gtest_brief=1 --gtest_filter=${suite}.*)
      set_tests_properties(reference.${suite} PROPERTIES TIMEOUT ${QOR_SUITE_TIMEOUT}
                           ENVIRONMENT "QOR_EVAL_REFERENCE=1")
      break()
    endif()
  endforeach()
endforeach()
if(NOT WIN32)
  # The list read from the sources holds every suite the binary has.
  add_test(NAME unit.every-suite-runs
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/unit/every-suite-runs.sh $<TARGET_FILE:qor_tests> "${unit_suites}")
endif()

# The paired runs of both paths, also with a collection at every allocation.
add_test(NAME eval.both-paths-under-collector-stress
         COMMAND qor_tests --gtest_filter=EvalPaths.*-EvalPaths.Recursion*)
set_tests_properties(eval.both-paths-under-collector-stress PROPERTIES TIMEOUT ${QOR_LIMIT_300} ENVIRONMENT "QOR_GC_STRESS=7")

# End-to-end: each tests/e2e/*.sh runs the built executable (through wine in
# the Windows build) and checks its output and exit status.
file(GLOB e2e_scripts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.sh)
if(NOT WIN32)
  list(FILTER e2e_scripts EXCLUDE REGEX "_win32\\.sh$")   # about running under wine
endif()
# The Windows build runs qor.exe through tools/qor-win (wine prepared there);
# the native build runs its own executable directly.
if(WIN32)
  set(QOR_RUNNER ${CMAKE_SOURCE_DIR}/tools/qor-win)
else()
  set(QOR_RUNNER $<TARGET_FILE:qor>)
endif()
foreach(script ${e2e_scripts})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME e2e.${name} COMMAND bash ${script})
  set_tests_properties(e2e.${name} PROPERTIES TIMEOUT ${QOR_LIMIT_120}
    ENVIRONMENT "QOR=${QOR_RUNNER};QOR_EXE=$<TARGET_FILE:qor>;QOR_TEST_TIME_SCALE=${QOR_TEST_TIME_SCALE}")
  # The GUI tests share the display (screenshots, the keyboard focus): one at a time.
  if(name MATCHES "^gui_")
    set_tests_properties(e2e.${name} PROPERTIES RESOURCE_LOCK gui-display)
  endif()
endforeach()

# Qor test cases: each tests/qor/<area>/NAME.out is one case (script, console
# input, arguments and expected status beside it), run by tests/qor/run.sh
# with the executable as above.
file(GLOB_RECURSE qor_cases CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/qor/*.out)
foreach(expected ${qor_cases})
  string(REGEX REPLACE "\\.out$" "" case ${expected})
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR}/tests/qor ${case})
  string(REPLACE "/" "." test_name ${rel})
  # The cases that open windows script the headless window system's queue
  # and rely on its fixed metrics (faces, VID, the terminal), so every case
  # runs over it in both builds; qor.exe otherwise runs the Windows one,
  # which the e2e GUI scripts drive.
  set(case_env "QOR_EXE=$<TARGET_FILE:qor>;QOR_TEST_TIME_SCALE=${QOR_TEST_TIME_SCALE}")
  if(WIN32)
    string(APPEND case_env ";QOR_GUI_BACKEND=headless")
  endif()
  add_test(NAME qor.${test_name} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/qor/run.sh ${QOR_RUNNER} ${rel})
  set_tests_properties(qor.${test_name} PROPERTIES TIMEOUT ${QOR_LIMIT_120} ENVIRONMENT "${case_env}")
  # The same case through the interpreter's general path: the same output.
  add_test(NAME qor-reference.${test_name} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/qor/run.sh ${QOR_RUNNER} ${rel})
  set_tests_properties(qor-reference.${test_name} PROPERTIES TIMEOUT ${QOR_LIMIT_120}
    ENVIRONMENT "${case_env};QOR_EVAL_REFERENCE=1")
  # Both runs work in the case's folder (some write files there): one at a time.
  set_tests_properties(qor.${test_name} qor-reference.${test_name} PROPERTIES RESOURCE_LOCK qor-case.${test_name})
endforeach()

# The include layers (tools/check-layers.py): no file includes from a layer
# above its own; the second test makes sure the check still catches one.
if(NOT WIN32)
  find_package(Python3 COMPONENTS Interpreter)
endif()
if(NOT WIN32 AND Python3_Interpreter_FOUND)
  add_test(NAME layers.includes COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/check-layers.py ${CMAKE_SOURCE_DIR})
  add_test(NAME layers.self-test COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/check-layers.py --self-test)
endif()

# The HTTP client against its test server on 127.0.0.1 (tests/http): the
# unit tests that need the server run again here with its port; in the
# plain run they skip.
if(WIN32)
  set(QOR_HTTP_TEST_RUNNER ${CMAKE_CROSSCOMPILING_EMULATOR})
else()
  set(QOR_HTTP_TEST_RUNNER)
endif()
add_test(NAME http.client
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/http/with-server.sh ${QOR_HTTP_TEST_RUNNER} $<TARGET_FILE:qor_tests>
          --gtest_filter=HttpText.*:HttpClient.*:HttpValues.*)
set_tests_properties(http.client PROPERTIES TIMEOUT 300)
# url!'s HTTP reads and writes as Qor cases (tests/http/qor), once start-up
# hands url! its HTTP client.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/boot/start.cpp)
file(READ ${CMAKE_SOURCE_DIR}/boot/start.cpp QOR_START_SOURCE)
string(FIND "${QOR_START_SOURCE}" "set_http_client" QOR_HTTP_WIRED)
if(NOT QOR_HTTP_WIRED EQUAL -1)
  add_test(NAME http.url COMMAND bash ${CMAKE_SOURCE_DIR}/tests/http/run-qor.sh ${QOR_RUNNER})
  set_tests_properties(http.url PROPERTIES TIMEOUT 300 ENVIRONMENT "QOR_EXE=$<TARGET_FILE:qor>")
endif()
