# The Windows installers, made by the 64-bit build from its own kovrad.dll and
# the 32-bit one of the mingw-i686 build (build that preset first): for 64-bit
# Windows with both, for 32-bit Windows with the 32-bit one.
set(KOVRAD_I686_BUILD_DIR "${PROJECT_SOURCE_DIR}/build/mingw-i686"
    CACHE PATH "32-bit Windows build whose kovrad.dll the installer holds")
set(KOVRAD_MSI "${PROJECT_BINARY_DIR}/kovrad-${PROJECT_VERSION}")
set(dll32 "${KOVRAD_I686_BUILD_DIR}/library/kovrad.dll")
set(msi_dir "${PROJECT_SOURCE_DIR}/packaging/msi")
set(msi_inputs kovrad "${msi_dir}/make-msi.sh" "${msi_dir}/kovrad.wxs"
    "${PROJECT_SOURCE_DIR}/library/include/kovrad.h" "${PROJECT_SOURCE_DIR}/docs/functions.md"
    "${PROJECT_SOURCE_DIR}/LICENSE")
if(EXISTS "${dll32}")
  list(APPEND msi_inputs "${dll32}")
  set(msi_all ALL)
else()
  message(STATUS "No 32-bit kovrad.dll at ${dll32}: build the mingw-i686 preset, then this "
                 "one again, to make the installers")
  set(msi_all "")
endif()
add_custom_command(
  OUTPUT "${KOVRAD_MSI}-x64.msi" "${KOVRAD_MSI}-x86.msi"
  COMMAND bash "${msi_dir}/make-msi.sh" ${PROJECT_VERSION} "${dll32}" $<TARGET_FILE:kovrad>
          "${PROJECT_SOURCE_DIR}" "${KOVRAD_MSI}"
  DEPENDS ${msi_inputs}
  COMMENT "Windows installers ${KOVRAD_MSI}-x64.msi and -x86.msi"
  VERBATIM)
add_custom_target(msi ${msi_all} DEPENDS "${KOVRAD_MSI}-x64.msi" "${KOVRAD_MSI}-x86.msi")
