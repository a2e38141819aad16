# Run by CPack after it has built the packages. CPack gives the libraries'
# packages postinst and postrm scripts that call ldconfig; the packages have
# an ldconfig trigger instead, so the scripts come out again.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${deb} NAME)
  if(NOT name MATCHES "^(${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME}|${CPACK_DEBIAN_EXTRATO_PACKAGE_NAME})_")
    continue()
  endif()
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb -R ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip -b ${tree} ${deb}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
