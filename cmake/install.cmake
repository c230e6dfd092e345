# Install rules and the release packages: the generator, the front end,
# the consumer headers, a relocatable CMake package (with the MinGW
# toolchain file and the Wine runner for cross builds) and a pkg-config
# file, so that another project needs one find_package(NativeGen), or one
# pkg-config call, and one function call or rule.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(NATIVEGEN_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/NativeGen)

install(TARGETS nativegen nativegen_build nativegen_identifiers nativegen_node_native nativegen_library
                nativegen_tree nativegen_resolve
        EXPORT NativeGenTargets
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
install(FILES ${PROJECT_SOURCE_DIR}/cmake/mingw-w64.cmake DESTINATION ${NATIVEGEN_PACKAGE_DIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/cmake/wine-run DESTINATION ${NATIVEGEN_PACKAGE_DIR})

# nativegen.pc: under /usr (the Debian package) it names /usr, where
# pkg-config leaves the system's include folder out of --cflags; anywhere
# else it names the tree it stands in, which may move.
file(RELATIVE_PATH pc_up /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
foreach(variant usr relocatable)
  if(variant STREQUAL "usr")
    set(pc_prefix /usr)
  else()
    string(REGEX REPLACE "/$" "" pc_prefix "\${pcfiledir}/${pc_up}")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/nativegen.pc.in ${PROJECT_BINARY_DIR}/nativegen-${variant}.pc @ONLY)
endforeach()
install(CODE "
  set(variant relocatable)
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(variant usr)
  endif()
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\" TYPE FILE
       RENAME nativegen.pc FILES \"${PROJECT_BINARY_DIR}/nativegen-\${variant}.pc\")")

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(NOT WIN32)
  # where a Debian system looks for a package's licence
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
endif()
# zstd linked into the front end: its notice goes with the program
if(nativegen_zstd STREQUAL "zstd::libzstd_static")
  find_file(NATIVEGEN_ZSTD_NOTICE NAMES LICENSE copyright
            PATHS /usr/share/doc/libzstd-dev /usr/share/doc/zstd /share/doc/zstd NO_DEFAULT_PATH)
  if(NOT NATIVEGEN_ZSTD_NOTICE)
    message(FATAL_ERROR "nativegen-build links a static zstd, and no licence of it was found to install with "
                        "it (Debian: /usr/share/doc/libzstd-dev/copyright; MinGW: .ci/zstd-mingw puts one in "
                        "share/doc/zstd); set NATIVEGEN_ZSTD_NOTICE to the file")
  endif()
  install(FILES ${NATIVEGEN_ZSTD_NOTICE} DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME zstd-LICENSE)
endif()

# Release packages: a .tar.gz and a .deb of the Linux build, a .zip of the
# Windows one.
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
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
  # nativegen_<version>_<arch>.deb, installed under /usr
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "nativegen <nativegen@localhost>")
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # the versions of the C and C++ libraries the programs need, as the
  # system's own tool reads them from the programs; without it, those this
  # build's compiler and C library bring (GCC 12, glibc 2.34 symbols)
  find_program(NATIVEGEN_SHLIBDEPS dpkg-shlibdeps)
  if(NATIVEGEN_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 11)")
  endif()
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${PROJECT_DESCRIPTION}\n The generator, its build front end, the consumer header, a CMake package and a\n pkg-config file.")
endif()
set(CPACK_PACKAGE_FILE_NAME nativegen-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
