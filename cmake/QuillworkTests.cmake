# The suites as CTest tests, so that `ctest --test-dir build/<preset>` runs what `./run test`
# runs there. Every test goes through `./run check` or `./run suite`, the functions `./run test`
# itself uses: a home of its own, TZ=UTC, reports in build/reports/, under Wine a prefix of its
# own. Nothing here builds: build the preset first (the script suites want `./run build`, those
# labelled package `./run package`).
#
# Labels (ctest -L / -LE):
#   unit, blackbox, gui, terminal, host   a GoogleTest binary or a host check of this build
#   sanitizer                             the unit suite of a linux-asan or linux-tsan build
#   script                                a script of tests/suites/ (build/linux only)
#   wine                                  runs Windows programs under Wine
#   reliability                           the rel-* scripts (qw_reliability on every target)
#   root                                  checks that need root (mounts, namespaces, dpkg); skipped without
#   package                               wants the packages of `./run package` in dist/packages/
#   slow                                  the longest scripts, which `./run test` starts first
if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()
find_program(QW_BASH bash)
if(NOT QW_BASH)
  message(STATUS "Quillwork: no bash, so ctest knows no suite")
  return()
endif()
set(QW_RUN ${QW_BASH} ${PROJECT_SOURCE_DIR}/run)

# One `./run check` test: its name, the target, the kind of check, the program's target, labels.
# The checks of one build folder run one at a time: they share its bin/ and clean its bin/Log.
function(qw_add_check name target kind program)
  if(NOT TARGET ${program})
    return()
  endif()
  add_test(NAME ${name} COMMAND ${QW_RUN} check ${target} ${kind} $<TARGET_FILE:${program}>)
  set_tests_properties(${name} PROPERTIES LABELS "${ARGN}" TIMEOUT 900 RESOURCE_LOCK bin SKIP_RETURN_CODE 77)
endfunction()

# The Windows builds: the binaries `./run test` runs under Wine for this architecture.
function(qw_add_wine_checks)
  find_program(QW_WINE wine)
  if(NOT QW_WINE)
    message(STATUS "Quillwork: no wine, so ctest knows no suite of this Windows build")
    return()
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(arch win64)
  else()
    set(arch win32)
  endif()
  qw_add_check(unit ${arch} gtest qw_unit unit wine)
  qw_add_check(blackbox ${arch} gtest qw_blackbox blackbox wine)
  qw_add_check(gui ${arch} gui qw_gui gui wine)
  qw_add_check(drive-root ${arch} drive-root quillwork_demo host wine)
endfunction()

# A list of suite names from the line "<variable>="..."" of ./run.
function(qw_run_list variable out)
  file(STRINGS ${PROJECT_SOURCE_DIR}/run line REGEX "^${variable}=\"")
  string(REGEX REPLACE "^${variable}=\" *([^\"]*)\".*" "\\1" line "${line}")
  string(STRIP "${line}" line)
  string(REPLACE " " ";" line "${line}")
  set(${out} "${line}" PARENT_SCOPE)
endfunction()

# The labels of a script of tests/suites/, read from what it does.
function(qw_script_labels script out)
  get_filename_component(name ${script} NAME_WE)
  file(READ ${script} text)
  set(labels script)
  if(text MATCHES "qw_wine_env")
    list(APPEND labels wine)
  endif()
  if(name MATCHES "^rel-")
    list(APPEND labels reliability)
  endif()
  if(text MATCHES "id -u|unshare|dpkg -i")
    list(APPEND labels root)
  endif()
  if(text MATCHES "dist/packages")
    list(APPEND labels package)
  endif()
  set(${out} "${labels}" PARENT_SCOPE)
endfunction()

# The scripts of tests/suites/ through `./run suite`, the way `./run test` runs them: the
# longest start first (their cost), the ones that run alone run alone.
function(qw_add_script_suites)
  qw_run_list(first_suites first)
  qw_run_list(alone_suites alone)
  list(LENGTH first nFirst)
  file(GLOB scripts CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/suites/*.sh)
  # The labels and the order come from the scripts and ./run: an edit configures again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${scripts} ${PROJECT_SOURCE_DIR}/run)
  foreach(script IN LISTS scripts)
    get_filename_component(name ${script} NAME_WE)
    qw_script_labels(${script} labels)
    list(FIND first ${name} nAt)
    set(cost 1)
    if(nAt GREATER -1)
      list(APPEND labels slow)
      math(EXPR cost "100 + ${nFirst} - ${nAt}")
    endif()
    add_test(NAME suite-${name} COMMAND ${QW_RUN} suite ${name})
    set_tests_properties(suite-${name} PROPERTIES LABELS "${labels}" COST ${cost} TIMEOUT 1000)
    if(name IN_LIST alone)
      set_tests_properties(suite-${name} PROPERTIES RUN_SERIAL ON COST 0)
    endif()
    if(name STREQUAL "rel-valgrind")  # runs qw_blackbox in bin/, as the checks do
      set_tests_properties(suite-${name} PROPERTIES RESOURCE_LOCK bin)
    endif()
  endforeach()
endfunction()

if(WIN32)
  qw_add_wine_checks()
elseif(QW_SANITIZE)
  # The sanitizer presets build the unit suite alone.
  qw_add_check(unit linux gtest qw_unit unit sanitizer)
  if(TEST unit)
    set_tests_properties(unit PROPERTIES ENVIRONMENT "UBSAN_OPTIONS=halt_on_error=1")
  endif()
else()
  qw_add_check(unit linux gtest qw_unit unit)
  qw_add_check(blackbox linux gtest qw_blackbox blackbox)
  if(TARGET qw_mirrorhost)  # the terminal suite drives it beside the demo host
    qw_add_check(terminal linux mirror quillwork_demo terminal)
  endif()
  # The scripts read the preset folders build/linux, build/win64, ... by name.
  if(PROJECT_BINARY_DIR STREQUAL "${PROJECT_SOURCE_DIR}/build/linux")
    qw_add_script_suites()
  else()
    message(STATUS "Quillwork: the scripts of tests/suites/ are ctest tests in build/linux alone")
  endif()
endif()
