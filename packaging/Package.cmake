# The Debian package: `cpack -G DEB` in a build folder packs what
# `cmake --install` puts under /usr. dpkg-shlibdeps (dpkg-dev) works out the
# libraries it depends on from the installed program itself.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ambrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Ambrel developers")
set(AMBREL_PACKAGE_MAINTAINER "Ambrel maintainers <maintainers@users.noreply.c-seed-cbbf5301.example>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT ${AMBREL_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "water screen saver for X11, XScreenSaver and xsecurelock")
# Debian's long description; cpack indents its lines and marks the empty one.
set(CPACK_PACKAGE_DESCRIPTION
    "Ambrel lays a sheet of water over a picture of the screen, the desktop
picture or a random picture from a folder. Drops fall at random, rings
spread across the surface and wrap around its edges, and the picture
underneath wobbles as the water bends it, while a light circles overhead.

It runs as an XScreenSaver hack (also under xsecurelock), full screen or in
a window, and renders off-screen into PNG files without a display. The
package includes a settings window, \"Ambrel Settings\".")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded on first use (by libepoxy and support/GLU.cpp), so not among the
# libraries the program is linked with: named here.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libopengl0, libglx0, libegl1, libglu1-mesa")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xscreensaver)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xsecurelock, webp-pixbuf-loader")

set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/build/" "/\\.git/" "/out/")
include(CPack)
