# Read by cpack once per generator: the .deb packs the Linux component, the .zip the Windows one.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL gloamer)
elseif(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_COMPONENTS_ALL windows)
  # Unpacked, the files come in a folder of their own, not loose among the reader's downloads.
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PACKAGE_FILE_NAME gloamer-${CPACK_PACKAGE_VERSION}-windows-x86)
endif()
