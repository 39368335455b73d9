# The Debian package, made by CPack from an installed tree (scripts/package.sh).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Orvik developers <orvik@orvik.bg>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# orvik_<version>_<arch>.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so no library dependency names them: the Qt platform plugins
# (xcb, wayland, offscreen) and Qt's SQLite driver.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console for a power-electronics diagnostic device")
set(CPACK_PACKAGE_DESCRIPTION "Orvik talks to a power-electronics diagnostic device over a serial line.
The operator sends commands to the device, its inverter and its rectifier,
reads the supply voltage, the current and the temperature against set
limits, counts five kinds of emergency event and sees the transients the
device captures as a live chart that can be zoomed and scrolled. The
traffic is shown in a terminal and can be logged to a text file.

The package also holds orvik-devsim, a simulator of the device on a
pseudo-terminal, for trying the console without the device, and orvik-cli,
the console's session without a window for benches and services.")
include(CPack)
