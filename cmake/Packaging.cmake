# make package: a Debian package of what `cmake --install` puts in place, depending on the Qt runtime
# packages that dpkg-shlibdeps finds for the installed programs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnolux)
set(CPACK_PACKAGE_VENDOR "TARNOLUX team")
set(CPACK_PACKAGE_CONTACT "TARNOLUX team <tarnolux@tarnolux.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Readout for electronic autocollimators")
set(CPACK_PACKAGE_DESCRIPTION
  "Live two-axis angles of an electronic autocollimator on a serial port, zeroing, averaging,
ten measurement tables, the instrument's memory, table files, the clipboard and a background
file for other programs, plus the single-value mode with its Go/NG verdict. Includes
tarnolux-sim, an instrument simulator on a pseudo-terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt reaches a Wayland desktop through a plug-in that no library names (X11 and XWayland work without).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)

include(CPack)
