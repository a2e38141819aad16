# Debian packages, built with CPack (scripts/package) from the install
# components of cmake/install.cmake: each component becomes one package.
#
# Adding a package takes these steps:
#   1. install its files with COMPONENT <component>;
#   2. add a kovrad_package(<component> ...) call at the end of this file:
#      package name, section, relations, what its binaries are linked with
#      (for its copyright file) and its description: a synopsis, then lines
#      of at most 79 characters;
#   3. put its maintainer scripts, "conffiles" (every file it installs under
#      /etc) or "triggers" in packaging/debian/<component>/, if it has any;
#   4. name it in tests/packaging/package_test.sh and check what it holds.
# Its copyright file, changelog, lintian overrides and shlibs dependencies
# come by themselves. Files for /etc need an absolute destination: a relative
# "etc" lands under the package's prefix, in /usr/etc.
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
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The Debian revision: the packaging's own changes between two releases.
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_POST_BUILD_SCRIPTS ${KOVRAD_PACKAGING_DIR}/debian/ldconfig-trigger.cmake)
set(KOVRAD_DEB_VERSION "${CPACK_DEBIAN_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
set(exact_library "${KOVRAD_LIBRARY_PACKAGE} (= ${KOVRAD_DEB_VERSION})")

# The licence text as a copyright file's paragraph: indented by one space,
# empty lines as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
string(REGEX REPLACE "^.*Copyright[^\n]*\n\n" "" licence "${licence}")
string(STRIP "${licence}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " KOVRAD_COPYRIGHT_LICENSE " ${licence}")

# Every package's changelog is the one packaging/debian/changelog.
set(KOVRAD_DEB_DOC_DIR ${PROJECT_BINARY_DIR}/packaging/doc)
add_custom_command(OUTPUT ${KOVRAD_DEB_DOC_DIR}/changelog.Debian.gz
  COMMAND gzip -9nc ${KOVRAD_PACKAGING_DIR}/debian/changelog > changelog.Debian.gz
  WORKING_DIRECTORY ${KOVRAD_DEB_DOC_DIR}
  DEPENDS ${KOVRAD_PACKAGING_DIR}/debian/changelog)
add_custom_target(kovrad_changelog ALL DEPENDS ${KOVRAD_DEB_DOC_DIR}/changelog.Debian.gz)

set(KOVRAD_PACKAGE_COMPONENTS)

# kovrad_package(<component> NAME <package> SECTION <section>
#   [ARCHITECTURE all] [DEPENDS ...] [RECOMMENDS ...] [SUGGESTS ...]
#   LINKED <line>... DESCRIPTION <synopsis> <line>...)
# LINKED names what the package's binaries are linked with, and its licences.
function(kovrad_package component)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "NAME;SECTION;ARCHITECTURE"
    "DEPENDS;RECOMMENDS;SUGGESTS;LINKED;DESCRIPTION")
  string(TOUPPER ${component} upper)
  set(prefix CPACK_DEBIAN_${upper}_PACKAGE)
  set(${prefix}_NAME ${arg_NAME} PARENT_SCOPE)
  set(${prefix}_SECTION ${arg_SECTION} PARENT_SCOPE)
  if(arg_ARCHITECTURE)
    set(${prefix}_ARCHITECTURE ${arg_ARCHITECTURE} PARENT_SCOPE)
  endif()
  foreach(relation DEPENDS RECOMMENDS SUGGESTS)
    if(arg_${relation})
      list(JOIN arg_${relation} ", " joined)
      set(${prefix}_${relation} "${joined}" PARENT_SCOPE)
    endif()
  endforeach()
  file(GLOB control ${KOVRAD_PACKAGING_DIR}/debian/${component}/*)
  if(control)
    set(${prefix}_CONTROL_EXTRA ${control} PARENT_SCOPE)
  endif()
  list(JOIN arg_DESCRIPTION "\n" description)
  set(CPACK_COMPONENT_${upper}_DESCRIPTION "${description}" PARENT_SCOPE)

  list(JOIN arg_LINKED "\n " KOVRAD_COPYRIGHT_LINKED)
  set(copyright ${KOVRAD_DEB_DOC_DIR}/${arg_NAME}/copyright)
  configure_file(${KOVRAD_PACKAGING_DIR}/debian/copyright.in ${copyright} @ONLY)
  set(doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/${arg_NAME})
  install(FILES ${copyright} ${KOVRAD_DEB_DOC_DIR}/changelog.Debian.gz
    DESTINATION ${doc} COMPONENT ${component})
  install(FILES ${KOVRAD_PACKAGING_DIR}/debian/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${arg_NAME}
    COMPONENT ${component})
  set(KOVRAD_PACKAGE_COMPONENTS ${KOVRAD_PACKAGE_COMPONENTS} ${component} PARENT_SCOPE)
endfunction()

kovrad_package(runtime NAME ${KOVRAD_LIBRARY_PACKAGE} SECTION libs
  RECOMMENDS kovrad-udev
  LINKED "libkovrad.so.2 is linked with zlib (Zlib) and the GNU C library"
    "(LGPL-2.1+)."
  DESCRIPTION "SAT fiscal device library"
    "libkovrad drives the SAT-CF-e fiscal device attached over USB: it exports"
    "the standard SAT functions as a plain C interface for point-of-sale"
    "programs.")

kovrad_package(udev NAME kovrad-udev SECTION admin ARCHITECTURE all
  SUGGESTS udev
  LINKED "The package holds no binaries."
  DESCRIPTION "SAT fiscal device library: udev rule"
    "A udev rule for the SAT-CF-e fiscal device: the dialout group may use its"
    "port, which also gets the stable name /dev/sat/<serial>, and ModemManager"
    "leaves the port alone.")

kovrad_package(dev NAME libkovrad-dev SECTION libdevel
  DEPENDS ${exact_library}
  LINKED "The package holds no binaries."
  DESCRIPTION "SAT fiscal device library: development files"
    "The header kovrad.h, a pkg-config file and a CMake package"
    "(find_package(kovrad) gives kovrad::kovrad) for building programs against"
    "libkovrad.")

# Ativacao and satcli load the library while they run; the linker does not see it.
# The extrato is drawn with DejaVu Sans Mono, read from its files.
kovrad_package(tools NAME kovrad-tools SECTION utils
  DEPENDS ${exact_library} qt6-qpa-plugins fonts-dejavu-core
  RECOMMENDS qt6-translations-l10n
  LINKED "Ativacao and satcli are linked with Qt 6 (LGPL-3), libxml2 (Expat),"
    "cairo (LGPL-2.1 or MPL-1.1), libqrencode (LGPL-2.1+), zint (BSD-3-clause),"
    "FreeType (FTL or GPL-2+), libpng (libpng-2.0), OpenSSL (Apache-2.0), the"
    "GNU C++ library (GPL-3+ with the GCC Runtime Library Exception) and the"
    "GNU C library (LGPL-2.1+); they load libkovrad.so.2 while they run."
  DESCRIPTION "SAT fiscal device tools: Ativacao and satcli"
    "Ativacao sets the SAT-CF-e fiscal device up and tests it (Qt). satcli calls"
    "every function of the library from the shell.")

kovrad_package(emulator NAME kovrad-emulator SECTION devel
  LINKED "satemu is linked with OpenSSL (Apache-2.0), libxml2 (Expat), zlib"
    "(Zlib), the GNU C++ library (GPL-3+ with the GCC Runtime Library Exception)"
    "and the GNU C library (LGPL-2.1+)."
  DESCRIPTION "SAT fiscal device emulator"
    "satemu emulates a SAT-CF-e fiscal device on a pseudo-terminal, so that"
    "point-of-sale programs and libkovrad run and are tested without hardware.")

# The hub loads the library in its workers; the linker does not see it.
kovrad_package(hub NAME kovrad-hub SECTION net
  DEPENDS ${exact_library} adduser
  RECOMMENDS kovrad-udev
  LINKED "kovrad-hub is linked with libmicrohttpd (LGPL-2.1+), SQLite (public"
    "domain), libpq (PostgreSQL), libxml2 (Expat), OpenSSL (Apache-2.0), toml++"
    "(Expat), Qt 6 Core (LGPL-3), the GNU"
    "C++ library (GPL-3+ with the GCC Runtime Library Exception) and the GNU C"
    "library (LGPL-2.1+); it includes nlohmann-json (Expat) and loads"
    "libkovrad.so.2 while it runs."
  DESCRIPTION "SAT fiscal devices served to a store's tills over HTTP"
    "kovrad-hub serves the SAT-CF-e fiscal devices attached to one machine to"
    "point-of-sale programs over HTTP, with a form API that existing"
    "point-of-sale code speaks and a JSON API. Every request is recorded in a"
    "ledger before the device is called, lost sale replies are settled by"
    "asking the device, and idempotency keys keep a repeated sale from making"
    "a second coupon. A systemd unit runs it sandboxed. In a chain of stores it"
    "ships every coupon to a central PostgreSQL and watches its devices, with"
    "Prometheus alert rules.")

set(CPACK_COMPONENTS_ALL ${KOVRAD_PACKAGE_COMPONENTS})
include(CPack)
