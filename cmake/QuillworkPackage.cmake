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

# The release notes of Debian packages: usr/share/doc/<package>/changelog.Debian.gz,
# made with CMake's own gzip and a fixed time, so the bytes are the same on every build.
set(QW_DEB_DATE "Tue, 08 Dec 2026 12:00:00 +0000")
function(qw_debian_changelog component package)
  set(dir ${PROJECT_BINARY_DIR}/debian-changelog/${package})
  file(MAKE_DIRECTORY ${dir})
  file(WRITE ${dir}/changelog.Debian "quillwork (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}: Quillwork.dll for Windows x64 and x86 and libquillwork.so.1
    for Linux from one set of sources; see CHANGELOG.md for what it holds.

 -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${QW_DEB_DATE}
")
  file(ARCHIVE_CREATE OUTPUT ${dir}/changelog.Debian.gz PATHS ${dir}/changelog.Debian
    FORMAT raw COMPRESSION GZip MTIME 0)
  if(component)
    install(FILES ${dir}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  else()
    install(FILES ${dir}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package})
  endif()
endfunction()

set(CPACK_PACKAGE_NAME quillwork)
set(CPACK_PACKAGE_VENDOR "the Quillwork authors")
set(CPACK_RESOURCE_FILE_LICENSE ${QW_LICENSE})
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Durable, readable log files for desktop programs")
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
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillwork maintainers <maintainers@quillwork.example.org>")
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libquillwork${PROJECT_VERSION_MAJOR})
  set(CPACK_DEBIAN_DEV_PACKAGE_NAME libquillwork-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libquillwork${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
  # Each package: a synopsis of its own, then what it holds. No package-wide summary:
  # CPack would put it before every one of them.
  set(QW_DEB_ABOUT "Quillwork writes plain text log files that a person can read and a program can parse:\none file per run below the program's folder, one folder per day, stamped entries and\nhex or decimal dumps of byte buffers, mirrored in colour to the terminal.")
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "log library for desktop programs - shared library\n${QW_DEB_ABOUT}\n\nThis package holds the shared library libquillwork.so.1.")
  set(CPACK_DEBIAN_DEV_DESCRIPTION "log library for desktop programs - development files\n${QW_DEB_ABOUT}\n\nThis package holds the header Quillwork.h, the link name, the CMake package\nand the pkg-config file.")
  qw_debian_changelog(runtime libquillwork1)
  qw_debian_changelog(dev libquillwork-dev)
  set(CPACK_COMPONENTS_ALL runtime dev)
  if(QW_HAVE_TOOLS)
    # The reader's install rules name no component: they fall in the default one.
    install(FILES ${QW_LICENSE} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillwork-tools RENAME copyright)
    list(APPEND CPACK_COMPONENTS_ALL Unspecified)
    set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME quillwork-tools)
    set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_UNSPECIFIED_DESCRIPTION "reader of Quillwork log files: JSON Lines, pcapng, coloured cat\nqwlog reads the log files the Quillwork library writes and turns them into\nJSON Lines, pcapng for Wireshark or coloured text, with filters by time, kind,\ndirection and text. With an lnav format and rsyslog configurations.")
    qw_debian_changelog("" quillwork-tools)
  endif()
endif()

include(CPack)
