# Debian packages built with CPack from the install components:
#   libkovrad2     the library and its udev rule   (component runtime)
#   libkovrad-dev  header, pkg-config, CMake files  (component dev)
#   kovrad-tools   Ativacao, satcli, satemu         (component tools)
# scripts/package configures with CMAKE_INSTALL_PREFIX=/usr and runs cpack.
set(KOVRAD_LIBRARY_PACKAGE "libkovrad${PROJECT_VERSION_MAJOR}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kovrad)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "kovrad maintainers <maintainers@kovrad.example>")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
# Files are installed under the package's prefix, with DESTDIR, so that the
# pkg-config file is written with the prefix the package installs to.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(exact_library "${KOVRAD_LIBRARY_PACKAGE} (= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${KOVRAD_LIBRARY_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "udev")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "SAT fiscal device library
libkovrad drives the SAT-CF-e fiscal device attached over USB: it exports the
standard SAT functions as a plain C interface for point-of-sale programs. A udev
rule gives the dialout group the device's port, names it /dev/sat/<serial> and
keeps ModemManager away from it.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkovrad-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS ${exact_library})
set(CPACK_COMPONENT_DEV_DESCRIPTION "SAT fiscal device library: development files
The header kovrad.h, a pkg-config file and a CMake package (find_package(kovrad)
gives kovrad::kovrad) for building programs against libkovrad.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kovrad-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
# Ativacao and satcli load the library while they run; the linker does not see it.
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${exact_library}, qt6-qpa-plugins")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "SAT fiscal device tools: Ativacao, satcli and satemu
Ativacao sets the device up and tests it (Qt). satcli calls every function of the
library from the shell. satemu emulates a device on a pseudo-terminal.")

include(CPack)
