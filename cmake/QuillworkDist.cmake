# Fills the dist folder after a build of the shipped library (cmake -P). The library
# goes in stripped, its debug information in <name>.debug beside it, tied to it by a
# GNU debug link (gdb finds it there); on Linux the SONAME and link names are links.
#   QW_OBJCOPY  objcopy of the target        QW_LIB     the built library
#   QW_DIST     the dist folder              QW_STRIP   objcopy's strip option
#   QW_FILES    more files to copy (header, import library)
#   QW_SONAME, QW_LINKNAME  link names on Linux (empty on Windows)
cmake_minimum_required(VERSION 3.25)

# Runs objcopy with the given arguments in the dist folder; stops the build on failure.
function(qw_objcopy)
  execute_process(COMMAND ${QW_OBJCOPY} ${ARGN} WORKING_DIRECTORY ${QW_DIST} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${QW_OBJCOPY} ${ARGN} failed: ${rc}")
  endif()
endfunction()

get_filename_component(QW_NAME ${QW_LIB} NAME)
file(MAKE_DIRECTORY ${QW_DIST})
file(REMOVE ${QW_DIST}/${QW_NAME} ${QW_DIST}/${QW_NAME}.debug)
qw_objcopy(--only-keep-debug ${QW_LIB} ${QW_NAME}.debug)
qw_objcopy(${QW_STRIP} --add-gnu-debuglink=${QW_NAME}.debug ${QW_LIB} ${QW_NAME})
file(COPY ${QW_FILES} DESTINATION ${QW_DIST})
if(QW_SONAME AND NOT QW_SONAME STREQUAL QW_NAME)
  file(CREATE_LINK ${QW_NAME} ${QW_DIST}/${QW_SONAME} SYMBOLIC)
endif()
if(QW_LINKNAME)
  file(CREATE_LINK ${QW_SONAME} ${QW_DIST}/${QW_LINKNAME} SYMBOLIC)
endif()
