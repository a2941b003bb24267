# Debian package (cpack -G DEB): library dependencies come from dpkg-shlibdeps; the QML modules the
# program imports are loaded at run time, so their packages are listed in data/qml-runtime-packages.
file(STRINGS "${CMAKE_SOURCE_DIR}/data/qml-runtime-packages" qml_packages REGEX "^[a-z0-9]")
list(JOIN qml_packages ", " qml_depends)

set(CPACK_PACKAGE_NAME "quorl-bank")
set(CPACK_PACKAGE_VENDOR "Quorl Bank")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop client of the Quorl Bank service")
# The extended description, one line each as the control file shows it.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "One window in which you sign in or register, confirm your e-mail address with"
    "a 6-digit code, see your balance in Quorls and your recent transfers, send"
    "Quorls to another user found by name, and reset a forgotten password."
    "Everything of record lives in the service; the program keeps only its sign-in"
    "token, in the desktop's secret store.")
set(CPACK_PACKAGE_CONTACT "Quorl Bank developers <dev@quorl.bank>")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "misc")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libqt6svg6: the image plugin that draws the window icon. libcurl4 (loaded at the first request)
# and libsecret-1-0 (loaded by QtKeychain) are opened at run time, so dpkg-shlibdeps does not see
# them. The fonts: Debian's own packages of the families that the QML names (checked on a new
# system by scripts/check-installed).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${qml_depends}, libqt6svg6, libcurl4 (>= 7.88), libsecret-1-0, \
fonts-dejavu-core, fonts-material-design-icons-iconfont, fonts-noto-color-emoji")
# A native window on Wayland desktops (XWayland without it).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_STRIP_FILES ON)
include(CPack)
