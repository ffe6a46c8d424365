# SPDX-License-Identifier: GPL-2.0-or-later
# `make package`: a Debian package of the install tree, under /usr.
# What Debian asks of every package beyond the install tree (a copyright file, a changelog,
# compressed manual pages) is added to the staged tree by cmake/PackageTree.cmake.
configure_file(${CMAKE_SOURCE_DIR}/cmake/copyright.in ${CMAKE_BINARY_DIR}/package/copyright @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/changelog.in ${CMAKE_BINARY_DIR}/package/changelog @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/PackageTree.cmake)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME clipwright)
set(CPACK_PACKAGE_VENDOR Korvane)
set(CPACK_PACKAGE_CONTACT "Korvane <support@clipwright.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert a section of a video into a new file")
set(CPACK_PACKAGE_DESCRIPTION
    "Clipwright opens one video, shows it in a preview, and converts the section\n\
between a start and an end mark into one new file: WMV or ASF with chosen\n\
bitrates, frame size and rate, or AVI, MKV, MP4 and Ogg with the encoders\n\
installed. clipwright-cli does the same from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://clipwright.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The conversions' readers, writers and encoders are plug-ins, which shlibdeps cannot see:
# H.264 (x264enc) and MP3 (lamemp3enc) come from the ugly set. Qt's window and SVG plug-ins
# are not linked either.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, \
gstreamer1.0-libav, qt6-qpa-plugins, libqt6svg6")
# Qt's translations put its own buttons and choosers in the chosen language; the CJK fonts
# draw Chinese and Japanese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "gstreamer1.0-plugins-ugly, gstreamer1.0-gl, xdg-utils, qt6-translations-l10n, \
fonts-noto-cjk")
set(CPACK_CW_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package)
include(CPack)
