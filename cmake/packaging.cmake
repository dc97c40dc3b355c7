# Installed layout and the Debian package (cpack -G DEB in the build folder).
include(GNUInstallDirs)

set(KD_PROGRAMS kdctl kdsim)
if(TARGET kdtrelva)
  list(PREPEND KD_PROGRAMS kdtrelva)
endif()
install(TARGETS ${KD_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages with the release filled in, compressed as Debian wants them.
set(KD_MAN_PAGES)
foreach(page kdtrelva kdctl kdsim)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/man/${page}.1.in ${CMAKE_BINARY_DIR}/man/${page}.1
                 @ONLY)
  set(out ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/man/${page}.1 > ${out}
    DEPENDS ${CMAKE_BINARY_DIR}/man/${page}.1 VERBATIM)
  list(APPEND KD_MAN_PAGES ${out})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${KD_MAN_PAGES})
install(FILES ${KD_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Desktop entry, the file type of the text parameter files, and icons.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kdtrelva.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/mime/kdtrelva.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/icons/kdtrelva.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/icons/kdtrelva-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME kdtrelva.png)
endforeach()

# The string tables (built into the programs as well) for operators who make
# their own with -lang, and the shell completion of kdctl.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/strings
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kdtrelva)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/completion/kdctl
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kdtrelva
        RENAME copyright)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kdtrelva)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "KD Trelva developers <kdtrelva@brenmark.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set up and watch a laser profile sensor over a serial link")
# The long description only: CPack puts the summary on the first line and
# indents every line of this by one blank itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "kdtrelva is the desktop program (Qt 6) with which an operator connects to an
industrial laser profile sensor, reads and edits its parameters page by page,
makes them permanent in its EEPROM, watches live values, profiles, the camera
picture and a time chart, downloads what the sensor recorded, and saves and
compares parameter files. kdctl does the same from scripts; kdsim is a
simulated sensor on a pseudo-terminal for trying the programs without one.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialogs (file dialogs, standard buttons) in the program's language
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
include(CPack)
