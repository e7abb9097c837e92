# Packages made by CPack from the install rules (./run package):
#   Linux    libquillwork1 (the library and its SONAME link), libquillwork-dev (header,
#            link name, CMake package, pkg-config file) and, when the tree has the
#            reader, quillwork-tools (qwlog and its files), as .deb
#   Windows  one zip per architecture: DLL, import library, header, CMake package,
#            LICENSE, README.md and qwlog.exe when the tree has it
set(QW_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(QW_HAVE_TOOLS FALSE)
if(EXISTS ${PROJECT_SOURCE_DIR}/tools/qwlog/CMakeLists.txt)
  set(QW_HAVE_TOOLS TRUE)
endif()

set(CPACK_PACKAGE_NAME quillwork)
set(CPACK_PACKAGE_VENDOR "the Quillwork authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Durable, readable log files for desktop programs")
set(CPACK_RESOURCE_FILE_LICENSE ${QW_LICENSE})
set(CPACK_STRIP_FILES ON)

if(WIN32)
  install(FILES ${QW_LICENSE} ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT runtime)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
else()
  # Debian wants the license of each package as /usr/share/doc/<package>/copyright.
  install(FILES ${QW_LICENSE} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/libquillwork1
    RENAME copyright COMPONENT runtime)
  install(FILES ${QW_LICENSE} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/libquillwork-dev
    RENAME copyright COMPONENT dev)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the Quillwork authors <quillwork@localhost>")
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libquillwork${PROJECT_VERSION_MAJOR})
  set(CPACK_DEBIAN_DEV_PACKAGE_NAME libquillwork-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libquillwork${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "Durable, readable log files for desktop programs\nThe shared library libquillwork.so.1.")
  set(CPACK_DEBIAN_DEV_DESCRIPTION "Durable, readable log files for desktop programs: development files\nThe header, the CMake package and the pkg-config file.")
  set(CPACK_COMPONENTS_ALL runtime dev)
  if(QW_HAVE_TOOLS)
    # The reader's install rules name no component: they fall in the default one.
    install(FILES ${QW_LICENSE} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillwork-tools RENAME copyright)
    list(APPEND CPACK_COMPONENTS_ALL Unspecified)
    set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME quillwork-tools)
    set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_UNSPECIFIED_DESCRIPTION "Reader of Quillwork log files\nqwlog, with its lnav format and rsyslog configurations.")
  endif()
endif()

include(CPack)
