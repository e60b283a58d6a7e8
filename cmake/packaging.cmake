# `cpack -G DEB` in a Release build makes the Debian package (scripts/dev.sh package does both).
set(CPACK_PACKAGE_NAME zavlen)
set(CPACK_PACKAGE_VENDOR "The ZavlenAPP developers")
set(CPACK_PACKAGE_CONTACT "The ZavlenAPP developers <packaging@zavlen.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find, preview and download the video behind short-video pages")
set(CPACK_PACKAGE_DESCRIPTION
"ZavlenAPP视频助手 (ZavlenAPP Video Assistant) takes the page
address of one short video from Weishi, Meipai, Kuaishou or Miaopai and
shows the address of the video file with its cover, author, avatar,
description and date; from there the video can be previewed, downloaded
or its address copied. Pages the live web has lost are looked up in the
web archive.

zavlen-get is the same core as a command-line tool, for scripts and
batches.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The previews' media backend and the lookup cache's database driver are loaded as plugins, which
# dpkg-shlibdeps cannot see; and a fresh system may have no font with Chinese, in which every
# caption would be empty boxes.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, libqt6sql6-sqlite, fonts-wqy-microhei | fonts-noto-cjk | fonts-wqy-zenhei")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-libav")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://bbs.zavlen.example/")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# What dh_strip would also drop: the compiler's notes, of no use on an installed system.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/packagestrip.cmake)

include(CPack)
