# What `cmake --install` places: the public header, the library (with its import
# library on Windows, its SONAME links on Linux) and a CMake package, so that a
# consumer writes find_package(Quillwork) and links Quillwork::Quillwork, or takes
# only the header with Quillwork::Headers when it loads the library at run time.
# On Linux also quillwork.pc for pkg-config.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QW_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quillwork)

add_library(quillwork_headers INTERFACE)
target_include_directories(quillwork_headers INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/LogClass> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(quillwork_headers PROPERTIES EXPORT_NAME Headers)
set_target_properties(quillwork PROPERTIES EXPORT_NAME Quillwork)
add_library(Quillwork::Headers ALIAS quillwork_headers)

# A project that includes Quillwork as a subproject installs it only when it asks (QW_INSTALL).
if(NOT QW_INSTALL)
  return()
endif()

# Components: runtime (the library a program loads), dev (what a build needs).
install(TARGETS quillwork quillwork_headers EXPORT QuillworkTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/LogClass/Quillwork.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT QuillworkTargets NAMESPACE Quillwork:: DESTINATION ${QW_PACKAGE_DIR} COMPONENT dev)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuillworkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuillworkConfig.cmake INSTALL_DESTINATION ${QW_PACKAGE_DIR})
# Same major version, same pointer size: a 32-bit consumer never picks a 64-bit package.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuillworkConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuillworkConfig.cmake ${PROJECT_BINARY_DIR}/QuillworkConfigVersion.cmake
  DESTINATION ${QW_PACKAGE_DIR} COMPONENT dev)

if(NOT WIN32)
  # The .pc file names the prefix it is installed to (/usr in the .deb, the --prefix of
  # `cmake --install`), so pkg-config prints plain paths: the prefix is filled in at
  # install time from a template that has everything else.
  set(QW_PC_PREFIX "@QW_PC_PREFIX@")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/quillwork.pc.in ${PROJECT_BINARY_DIR}/quillwork.pc.in @ONLY)
  set(QW_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/quillwork.pc.in ${PROJECT_BINARY_DIR}/quillwork.pc @ONLY)
  install(CODE "
    set(QW_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    configure_file(\"${PROJECT_BINARY_DIR}/quillwork.pc.in\" \"${PROJECT_BINARY_DIR}/pc-installed/quillwork.pc\" @ONLY)
    file(INSTALL \"${PROJECT_BINARY_DIR}/pc-installed/quillwork.pc\"
      DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")
    " COMPONENT dev)
endif()
