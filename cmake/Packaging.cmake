# Debian package (cpack -G DEB): library dependencies come from dpkg-shlibdeps; the QML modules the
# program imports are loaded at run time, so their packages are listed in data/qml-runtime-packages.
file(STRINGS "${CMAKE_SOURCE_DIR}/data/qml-runtime-packages" qml_packages REGEX "^[a-z0-9]")
list(JOIN qml_packages ", " qml_depends)

set(CPACK_PACKAGE_NAME "quorl-bank")
set(CPACK_PACKAGE_VENDOR "Quorl Bank")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop client of the Quorl Bank service")
set(CPACK_PACKAGE_CONTACT "Quorl Bank developers <dev@quorl.bank>")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "misc")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libqt6svg6: the image plugin that draws the window icon. libcurl4: loaded at the first request
# (dlopen), so dpkg-shlibdeps does not see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${qml_depends}, libqt6svg6, libcurl4 (>= 7.88)")
set(CPACK_STRIP_FILES ON)
include(CPack)
