# Packages: the .deb (gloamer, the plug-in, its logo and platform library, the man page) and the .zip for Windows players.

# The installed layout: gloamer finds its plug-in in ../lib/gloamer, the plug-in its platform library beside itself.
set(GLOAMER_LIB_DIR lib/gloamer)
set(GLOAMER_DOC_DIR share/doc/gloamer)

install(TARGETS gloamer RUNTIME DESTINATION bin COMPONENT gloamer)
install(TARGETS vis_gloamer gloamer_platform LIBRARY DESTINATION ${GLOAMER_LIB_DIR} COMPONENT gloamer)
install(FILES ${GLOAMER_LOGO} DESTINATION ${GLOAMER_LIB_DIR} COMPONENT gloamer)

# Debian wants its manual pages and changelog compressed, reproducibly (no name, no time stamp).
find_program(GLOAMER_GZIP gzip REQUIRED)
set(GLOAMER_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package-files)
add_custom_command(
  OUTPUT ${GLOAMER_PACKAGE_FILES}/gloamer.1.gz ${GLOAMER_PACKAGE_FILES}/changelog.Debian.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${GLOAMER_PACKAGE_FILES}
  COMMAND ${GLOAMER_GZIP} -9n -c ${CMAKE_SOURCE_DIR}/docs/gloamer.1 > ${GLOAMER_PACKAGE_FILES}/gloamer.1.gz
  COMMAND ${GLOAMER_GZIP} -9n -c ${CMAKE_SOURCE_DIR}/packaging/changelog.Debian
          > ${GLOAMER_PACKAGE_FILES}/changelog.Debian.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/gloamer.1 ${CMAKE_SOURCE_DIR}/packaging/changelog.Debian
  VERBATIM)
add_custom_target(package_files ALL
  DEPENDS ${GLOAMER_PACKAGE_FILES}/gloamer.1.gz ${GLOAMER_PACKAGE_FILES}/changelog.Debian.gz)
install(FILES ${GLOAMER_PACKAGE_FILES}/gloamer.1.gz DESTINATION share/man/man1 COMPONENT gloamer)
install(FILES ${GLOAMER_PACKAGE_FILES}/changelog.Debian.gz ${CMAKE_SOURCE_DIR}/packaging/copyright
        DESTINATION ${GLOAMER_DOC_DIR} COMPONENT gloamer)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${GLOAMER_DOC_DIR} COMPONENT gloamer)
# The README's links lead into docs/: its pages travel with it.
set(GLOAMER_DOC_PAGES plugin play render stream batch replay page scale developing architecture)
list(TRANSFORM GLOAMER_DOC_PAGES PREPEND ${CMAKE_SOURCE_DIR}/docs/)
list(TRANSFORM GLOAMER_DOC_PAGES APPEND .md)
install(FILES ${GLOAMER_DOC_PAGES} DESTINATION ${GLOAMER_DOC_DIR}/docs COMPONENT gloamer)
install(FILES ${CMAKE_BINARY_DIR}/completions/gloamer DESTINATION share/bash-completion/completions COMPONENT gloamer)
install(FILES ${CMAKE_BINARY_DIR}/completions/_gloamer DESTINATION share/zsh/vendor-completions COMPONENT gloamer)

set(CPACK_PACKAGE_NAME gloamer)
set(CPACK_PACKAGE_VENDOR "The Gloamer developers")
set(CPACK_PACKAGE_CONTACT "The Gloamer developers <gloamer@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "music visualizer: a vis plug-in and a host that plays, captures and renders")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 2)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_GLOAMER_PACKAGE_NAME gloamer)
set(CPACK_DEBIAN_GLOAMER_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The summary above comes first; this is the long description under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Gloamer draws logo sprites that sway with the music over a zooming feedback
trail, under a glow tinted by the spectrum, with OpenGL in a window of its own.
.
This package holds the gloamer program, which loads a visualization plug-in of
the classic Windows media players' vis API and drives it from real audio: it
plays music files or the built-in demo track with the visualizer, visualizes
live capture (what the computer plays), and renders music to MP4, MKV, MOV or
PNG pictures without a display. The Gloamer plug-in, built for Linux, comes
with it in /usr/lib/gloamer.")
# Libraries linked at build time are found by dpkg-shlibdeps; the platform library is our own and private.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
# SDL loads GL and EGL at run time; Mesa's drivers draw when there is no GPU driver, and headless.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1, libgl1-mesa-dri")

# The .zip holds the Windows DLL of the win32 build beside this one, its logo and the note on installing them.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_ARCHIVE_WINDOWS_FILE_NAME gloamer-${PROJECT_VERSION}-windows-x86)
if(GLOAMER_WITH_WIN32)
  install(FILES ${GLOAMER_WIN32_DIR}/vis_gloamer.dll ${GLOAMER_WIN32_DIR}/vis_gloamer.bmp
          ${GLOAMER_PACKAGE_FILES}/INSTALL.txt
          DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)
  # Windows readers get the note with Windows line ends.
  file(READ ${CMAKE_SOURCE_DIR}/packaging/INSTALL.txt GLOAMER_INSTALL_NOTE)
  string(REPLACE "\n" "\r\n" GLOAMER_INSTALL_NOTE "${GLOAMER_INSTALL_NOTE}")
  file(WRITE ${GLOAMER_PACKAGE_FILES}/INSTALL.txt "${GLOAMER_INSTALL_NOTE}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/packaging/INSTALL.txt)
  set(CPACK_GENERATOR DEB ZIP)
else()
  set(CPACK_GENERATOR DEB)
endif()
# Each generator packs its own component: DEB the Linux one, ZIP the Windows one.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/packaging-generators.cmake)

include(CPack)
cpack_add_component(gloamer DISPLAY_NAME "gloamer and the Linux plug-in")
cpack_add_component(windows DISPLAY_NAME "The Windows plug-in")
