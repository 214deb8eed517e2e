# The Debian package: `cpack -G DEB` in a build configured with
# CMAKE_INSTALL_PREFIX=/usr (scripts/package does). Dependencies come from the
# binaries (dpkg-shlibdeps); libcap2-bin brings the setcap the post-install
# script runs. Removal needs no script: dpkg deletes every file it installed,
# the capability lives in the file's extended attributes and goes with it, and
# the menu, icon and man caches are refreshed by their own triggers.
set(CPACK_PACKAGE_NAME netrove)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Netrove developers")
set(CPACK_PACKAGE_CONTACT "Netrove developers <netrove@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop suite of Internet client tools")
set(CPACK_PACKAGE_DESCRIPTION
  "Netrove hosts Internet client tools in one main window: Ping and traceroute\n\
(with raw ICMP sockets for every user), Finger and WhoIs queries, an address\n\
book, a calendar and system reports. Every tool also runs without a window\n\
from the netrove-cli command.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(NETROVE_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${NETROVE_HOMEPAGE})
endif()
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(libdir_netrove ${CPACK_PACKAGING_INSTALL_PREFIX}/lib/netrove)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/postinst.in
  ${CMAKE_BINARY_DIR}/debian/postinst @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                   WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/postinst)
include(CPack)
