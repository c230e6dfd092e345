# Install rules and the release archives: the generator, the consumer
# header and a relocatable CMake package, so that another project needs
# one find_package(NativeGen) and one function call.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(NATIVEGEN_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/NativeGen)

install(TARGETS nativegen nativegen_build nativegen_identifiers nativegen_node_native EXPORT NativeGenTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/nativegen DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT NativeGenTargets NAMESPACE NativeGen:: DESTINATION ${NATIVEGEN_PACKAGE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/NativeGenConfig.cmake.in
  ${PROJECT_BINARY_DIR}/NativeGenConfig.cmake INSTALL_DESTINATION ${NATIVEGEN_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/NativeGenConfigVersion.cmake
  COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${PROJECT_BINARY_DIR}/NativeGenConfig.cmake ${PROJECT_BINARY_DIR}/NativeGenConfigVersion.cmake
              ${PROJECT_SOURCE_DIR}/cmake/NativeGen.cmake ${PROJECT_SOURCE_DIR}/cmake/NativeGenLibrary.cmake
        DESTINATION ${NATIVEGEN_PACKAGE_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Release archives: a .tar.gz of the Linux build, a .zip of the Windows one.
set(CPACK_PACKAGE_NAME nativegen)
set(CPACK_PACKAGE_VENDOR nativegen)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_FILE_NAME nativegen-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
