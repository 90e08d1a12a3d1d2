# Install rules and the Debian packages made by `cpack -G DEB` (scripts/package.sh):
# vor17000-server (the application server as a systemd service) and vor17000-host (the
# desktop host with the screen module). Each package keeps its own copy of the libraries in
# a private folder, so both install side by side without owning the same file.

set(VOR17000_SERVER_LIBDIR lib/vor17000-server)
set(VOR17000_HOST_LIBDIR lib/vor17000-host)
set(VOR17000_DEPLOY ${PROJECT_SOURCE_DIR}/deploy)
set(VOR17000_READ_ONLY OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# Each program lives in its package's private folder beside the libraries it loads (the host
# also looks for the module there); /usr/bin holds links to them. The library path is then
# $ORIGIN both in the build tree and installed, so the build tree's binaries stay exactly as
# they were and installing has nothing to rewrite.
set_target_properties(vor17000-server vor17000-host Pkg_Vor17000 hostlib vorcore PROPERTIES
  INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
foreach(program IN ITEMS vor17000-server vor17000-host)
  file(CREATE_LINK ../lib/${program}/${program} ${CMAKE_BINARY_DIR}/packaging/${program} SYMBOLIC)
endforeach()

# Each program's manual page, compressed as Debian keeps them, in its program's package.
foreach(program IN ITEMS vor17000-server vor17000-host)
  set(page ${PROJECT_SOURCE_DIR}/docs/man/${program}.1)
  set(compressed ${CMAKE_BINARY_DIR}/packaging/${program}.1.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${page} ${compressed}
    DEPENDS ${page} VERBATIM)
  list(APPEND VOR17000_MANUAL_PAGES ${compressed})
endforeach()
add_custom_target(manual_pages ALL DEPENDS ${VOR17000_MANUAL_PAGES})
# The packages are made from the programs alone (scripts/package.sh builds only them).
add_dependencies(vor17000-server manual_pages)
add_dependencies(vor17000-host manual_pages)

# --- vor17000-server ---
install(TARGETS vor17000-server RUNTIME DESTINATION ${VOR17000_SERVER_LIBDIR} COMPONENT server)
install(FILES ${CMAKE_BINARY_DIR}/packaging/vor17000-server DESTINATION bin COMPONENT server)
install(FILES ${CMAKE_BINARY_DIR}/packaging/vor17000-server.1.gz DESTINATION share/man/man1 COMPONENT server)
install(TARGETS vorcore LIBRARY DESTINATION ${VOR17000_SERVER_LIBDIR} PERMISSIONS ${VOR17000_READ_ONLY}
  COMPONENT server)
install(FILES ${PROJECT_SOURCE_DIR}/db/schema.sql ${PROJECT_SOURCE_DIR}/db/demo.sql
  DESTINATION share/vor17000-server/db COMPONENT server)
install(FILES ${VOR17000_DEPLOY}/systemd/vor17000-server.service DESTINATION /lib/systemd/system
  COMPONENT server)
# It may come to hold a database password: readable by root only (systemd reads it).
install(FILES ${VOR17000_DEPLOY}/server.conf.example DESTINATION /etc/vor17000 RENAME server.conf
  PERMISSIONS OWNER_READ OWNER_WRITE COMPONENT server)

# --- vor17000-host ---
install(TARGETS vor17000-host RUNTIME DESTINATION ${VOR17000_HOST_LIBDIR} COMPONENT host)
install(TARGETS Pkg_Vor17000 hostlib vorcore LIBRARY DESTINATION ${VOR17000_HOST_LIBDIR}
  PERMISSIONS ${VOR17000_READ_ONLY} COMPONENT host)
install(FILES ${CMAKE_BINARY_DIR}/packaging/vor17000-host DESTINATION bin COMPONENT host)
install(FILES ${CMAKE_BINARY_DIR}/packaging/vor17000-host.1.gz DESTINATION share/man/man1 COMPONENT host)
install(FILES ${VOR17000_DEPLOY}/vor17000-host.desktop DESTINATION share/applications COMPONENT host)
install(FILES ${VOR17000_DEPLOY}/vor17000.svg DESTINATION share/icons/hicolor/scalable/apps COMPONENT host)
# The host shows the help from its resources; the page is also there to read on its own.
install(FILES ${PROJECT_SOURCE_DIR}/host/help/vor17000.html DESTINATION share/doc/vor17000-host COMPONENT host)

# --- CPack ---
set(CPACK_GENERATOR DEB)
# Descriptions hold quotes.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME vor17000)
set(CPACK_PACKAGE_VENDOR "VOR17000")
set(CPACK_PACKAGE_CONTACT "Equipe VOR17000 <vor17000@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL server host)
set(CPACK_DEB_COMPONENT_INSTALL ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME vor17000-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
# adduser: the postinst creates the service's user.
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
  ${VOR17000_DEPLOY}/debian/server/conffiles ${VOR17000_DEPLOY}/debian/server/postinst
  ${VOR17000_DEPLOY}/debian/server/prerm ${VOR17000_DEPLOY}/debian/server/postrm)
set(CPACK_COMPONENT_SERVER_DESCRIPTION "VOR17000 application server
The application server of the issue-date screen (HTTP/1.1 and JSON-RPC 2.0) on SQLite or
PostgreSQL, run by systemd as the vor17000 user. Settings: /etc/vor17000/server.conf.")

set(CPACK_DEBIAN_HOST_PACKAGE_NAME vor17000-host)
# The desktop window needs a Qt platform plugin, which no binary links.
set(CPACK_DEBIAN_HOST_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_COMPONENT_HOST_DESCRIPTION "VOR17000 desktop host (Faturamento)
The desktop application \"Faturamento\" with the screen \"Alterar Data de Emissão\", and its
headless mode driven by commands on standard input.")

include(CPack)
