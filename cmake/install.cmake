# What `cmake --install` puts on a machine, in components that become the
# Debian packages (cmake/packaging.cmake): runtime (the library), udev (its
# udev rule), dev (header, pkg-config file, CMake package), tools (Ativacao
# and satcli, with the desktop entry and icon), emulator (satemu), extrato and
# extrato_dev (libkovrad-extrato and its header), each with its programs'
# manual pages.
set(KOVRAD_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Where the udev rule goes, under the install prefix unless absolute")
set(KOVRAD_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/kovrad")
set(KOVRAD_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")

install(TARGETS kovrad EXPORT kovradTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    COMPONENT runtime
    NAMELINK_COMPONENT dev)
install(FILES library/include/kovrad.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(FILES ${KOVRAD_PACKAGING_DIR}/udev/60-kovrad.rules
  DESTINATION ${KOVRAD_UDEV_RULES_DIR} COMPONENT udev)

# find_package(kovrad) gives kovrad::kovrad.
install(EXPORT kovradTargets NAMESPACE kovrad::
  DESTINATION ${KOVRAD_CMAKE_DIR} COMPONENT dev)
include(CMakePackageConfigHelpers)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/packaging/kovradConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
    ${KOVRAD_PACKAGING_DIR}/cmake/kovradConfig.cmake
    ${PROJECT_BINARY_DIR}/packaging/kovradConfigVersion.cmake
  DESTINATION ${KOVRAD_CMAKE_DIR} COMPONENT dev)

# The pkg-config file names the prefix the files actually go to, which is
# known only when they are installed (`--prefix`, or the package's /usr).
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(KOVRAD_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(KOVRAD_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
function(kovrad_pkg_config name component)
  configure_file(${KOVRAD_PACKAGING_DIR}/pkgconfig/${name}.pc.in
    ${PROJECT_BINARY_DIR}/packaging/${name}.pc.in @ONLY)
  install(CODE "
    file(READ \"${PROJECT_BINARY_DIR}/packaging/${name}.pc.in\" pc)
    string(REPLACE \"%PREFIX%\" \"\${CMAKE_INSTALL_PREFIX}\" pc \"\${pc}\")
    file(WRITE \"${PROJECT_BINARY_DIR}/packaging/pkgconfig/${name}.pc\" \"\${pc}\")
    file(INSTALL \"${PROJECT_BINARY_DIR}/packaging/pkgconfig/${name}.pc\"
      DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")"
    COMPONENT ${component})
endfunction()
kovrad_pkg_config(kovrad dev)

# libkovrad-extrato: its own runtime and development components, with a
# pkg-config file written the same way.
install(TARGETS kovrad_extrato
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    COMPONENT extrato
    NAMELINK_COMPONENT extrato_dev)
install(FILES receipt/include/kovrad-extrato.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT extrato_dev)
kovrad_pkg_config(kovrad-extrato extrato_dev)

install(TARGETS Ativacao satcli
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
install(TARGETS satemu
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT emulator)
install(FILES ${KOVRAD_PACKAGING_DIR}/desktop/kovrad-ativacao.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT tools)
install(FILES ${KOVRAD_PACKAGING_DIR}/icons/kovrad-ativacao.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT tools)

# Manual pages are installed compressed, as Debian has them; a page in
# another language (LANGUAGE pt_BR) comes from packaging/man/<language>/ and
# goes to share/man/<language>/man1.
add_custom_target(kovrad_man_pages ALL)
function(kovrad_man_page page component)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "LANGUAGE" "")
  set(folder man)
  set(section man1)
  set(name ${page})
  if(arg_LANGUAGE)
    set(folder man/${arg_LANGUAGE})
    set(section ${arg_LANGUAGE}/man1)
    set(name ${arg_LANGUAGE}_${page})
  endif()
  set(copy ${PROJECT_BINARY_DIR}/packaging/${folder}/${page})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging/${folder}
    COMMAND ${CMAKE_COMMAND} -E copy ${KOVRAD_PACKAGING_DIR}/${folder}/${page} ${copy}
    COMMAND gzip -9nf ${copy}
    DEPENDS ${KOVRAD_PACKAGING_DIR}/${folder}/${page}
    VERBATIM)
  add_custom_target(kovrad_man_${name} DEPENDS ${copy}.gz)
  add_dependencies(kovrad_man_pages kovrad_man_${name})
  install(FILES ${copy}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/${section} COMPONENT ${component})
endfunction()
kovrad_man_page(Ativacao.1 tools)
kovrad_man_page(satcli.1 tools)
kovrad_man_page(satemu.1 emulator)
kovrad_man_page(kovrad-hub.1 hub)

# The programs that speak Portuguese have their pages in it too.
kovrad_man_page(satcli.1 tools LANGUAGE pt_BR)
kovrad_man_page(satemu.1 emulator LANGUAGE pt_BR)
kovrad_man_page(kovrad-hub.1 hub LANGUAGE pt_BR)

# A section-3 page per function, written from kovrad.h, and the function
# reference, for the development package.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(KOVRAD_MAN3_DIR ${PROJECT_BINARY_DIR}/packaging/man3)
add_custom_command(OUTPUT ${KOVRAD_MAN3_DIR}/pages.txt
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KOVRAD_MAN3_DIR}
  COMMAND Python3::Interpreter ${KOVRAD_PACKAGING_DIR}/man3/header_man_pages.py
          ${PROJECT_SOURCE_DIR}/library/include/kovrad.h ${KOVRAD_MAN3_DIR} ${PROJECT_VERSION}
  DEPENDS ${PROJECT_SOURCE_DIR}/library/include/kovrad.h
          ${KOVRAD_PACKAGING_DIR}/man3/header_man_pages.py
  VERBATIM)
add_custom_target(kovrad_man3_pages ALL DEPENDS ${KOVRAD_MAN3_DIR}/pages.txt)
install(DIRECTORY ${KOVRAD_MAN3_DIR}/ DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT dev
  FILES_MATCHING PATTERN "*.3.gz")
install(FILES ${PROJECT_SOURCE_DIR}/docs/functions.md
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libkovrad-dev COMPONENT dev)

# The client layer for C++ programs (component client_dev): the static
# library, its headers under include/kovrad/client, the pkg-config file
# kovrad-client.pc and the CMake package (find_package(KovradClient) gives
# Kovrad::client). It loads libkovrad while it runs and needs kovrad.h.
set(KOVRAD_CLIENT_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/KovradClient")
# The port check's messages come through kovrad_i18n: installed beside it.
install(TARGETS kovrad_client kovrad_i18n EXPORT KovradClientTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT client_dev)
install(DIRECTORY client/include/client
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kovrad COMPONENT client_dev)
install(EXPORT KovradClientTargets NAMESPACE Kovrad::
  DESTINATION ${KOVRAD_CLIENT_CMAKE_DIR} COMPONENT client_dev)
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/packaging/KovradClientConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
    ${KOVRAD_PACKAGING_DIR}/cmake/KovradClientConfig.cmake
    ${PROJECT_BINARY_DIR}/packaging/KovradClientConfigVersion.cmake
  DESTINATION ${KOVRAD_CLIENT_CMAKE_DIR} COMPONENT client_dev)
kovrad_pkg_config(kovrad-client client_dev)
