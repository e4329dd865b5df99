# The server as a Debian package (`cmake --build build --target package`):
# orvantis-server_<version>_amd64.deb with the program, its systemd unit, its
# default configuration and the maintainer scripts that make its system user.
set(package "${CMAKE_CURRENT_LIST_DIR}")
set(doc "usr/share/doc/orvantis-server")
string(TIMESTAMP packageDate "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/changelog"
  "orvantis-server (${ORVANTIS_VERSION}) unstable; urgency=medium\n\n"
  "  * Release ${ORVANTIS_VERSION}.\n\n"
  " -- Orvantis maintainers <maintainers@orvantis.example>  ${packageDate}\n")
add_custom_command(OUTPUT changelog.gz
  COMMAND gzip -9nf -k changelog
  DEPENDS "${CMAKE_CURRENT_BINARY_DIR}/changelog" VERBATIM)
add_custom_target(orvantis-server-changelog ALL DEPENDS changelog.gz)

install(TARGETS orvantis-server RUNTIME DESTINATION usr/bin COMPONENT server)
install(FILES "${package}/orvantis-server.service" DESTINATION lib/systemd/system
  COMPONENT server)
install(FILES "${package}/orvantis-server.default" DESTINATION etc/default
  RENAME orvantis-server COMPONENT server)
install(FILES "${package}/copyright" "${CMAKE_CURRENT_BINARY_DIR}/changelog.gz"
  DESTINATION "${doc}" COMPONENT server)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL server)
set(CPACK_PACKAGE_VERSION "${ORVANTIS_VERSION}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_SERVER_PACKAGE_NAME orvantis-server)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Orvantis maintainers <maintainers@orvantis.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "compound database and release server for Orvantis
Keeps a lab's database of chemical compounds for the Orvantis desktop client
and serves its release feed, over HTTPS, as a hardened systemd service.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  "${package}/conffiles" "${package}/postinst" "${package}/prerm" "${package}/postrm")
include(CPack)
