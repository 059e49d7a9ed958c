# Debian packages by CPack (scripts/package.sh): corvane-keyserver (the keyservice
# component) and corvane-console (the console component), installed under /usr.
# Dependencies on libraries come from dpkg-shlibdeps; the maintainer scripts start and
# enable nothing (Oxlade install does that), refuse a removal that would strand the
# service or its keys, and purge the store but never the copies of the keys Oxlade kept.
set(CORVANE_DEB_MAINTAINER "Corvane Key Server maintainers <corvane@quillon.example>")
set(CORVANE_DEB_RELEASE 1)

# Per package: the copyright and the changelog in its documentation folder.
foreach(component IN ITEMS keyservice console)
    if(component STREQUAL "console" AND NOT TARGET Halvard)
        continue()
    endif()
    set(DEB_PACKAGE corvane-keyserver)
    if(component STREQUAL "console")
        set(DEB_PACKAGE corvane-console)
    endif()
    set(DEB_VERSION ${PROJECT_VERSION}-${CORVANE_DEB_RELEASE})
    set(DEB_MAINTAINER ${CORVANE_DEB_MAINTAINER})
    configure_file(packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/${DEB_PACKAGE}/changelog.Debian @ONLY)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/${DEB_PACKAGE}/changelog.Debian.gz
        COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/packaging/${DEB_PACKAGE}/changelog.Debian
        DEPENDS ${CMAKE_BINARY_DIR}/packaging/${DEB_PACKAGE}/changelog.Debian)
    add_custom_target(${DEB_PACKAGE}_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/${DEB_PACKAGE}/changelog.Debian.gz)
    install(FILES packaging/copyright ${CMAKE_BINARY_DIR}/packaging/${DEB_PACKAGE}/changelog.Debian.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${DEB_PACKAGE} COMPONENT ${component})
endforeach()

# Descriptions: a summary, then the long text; CPack indents its lines.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR Quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${CORVANE_DEB_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL keyservice)
if(TARGET Halvard)
    list(APPEND CPACK_COMPONENTS_ALL console)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CORVANE_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quillon.example/corvane")

set(CPACK_DEBIAN_KEYSERVICE_PACKAGE_NAME corvane-keyserver)
set(CPACK_DEBIAN_KEYSERVICE_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_DEBIAN_KEYSERVICE_PACKAGE_SUGGESTS "firewalld | ufw, keepalived")
set(CPACK_DEBIAN_KEYSERVICE_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/prerm ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postrm)
set(CPACK_COMPONENT_KEYSERVICE_DESCRIPTION "key server for Corvane network disk units
The key service Ternwick hands the lock keys registered on this computer to the
Corvane network disk units that ask for them at boot, over TCP (port 51056,
IPv4 and IPv6), and cooperates with other key servers.
.
Oxlade installs it as a sandboxed systemd service and controls it;
corvane-admin registers lock keys from their USB sticks, sets the port and the
cooperation password, copies, exports and imports keys; corvane-request speaks
the protocol for trying a server. Nothing is started on installation: run
'Oxlade install'.")

set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME corvane-console)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SECTION admin)
# The platform plugins, the Japanese Qt texts and the dialog font are no libraries that
# dpkg-shlibdeps would find.
set(CPACK_DEBIAN_CONSOLE_PACKAGE_DEPENDS
    "corvane-keyserver (= ${PROJECT_VERSION}-${CORVANE_DEB_RELEASE}), qt6-qpa-plugins, qt6-translations-l10n, fonts-ipafont-gothic")
set(CPACK_COMPONENT_CONSOLE_DESCRIPTION "administration console of the Corvane key server
Halvard is the desktop console (Qt 6, Japanese user interface) of the key
server in corvane-keyserver: it lists the registered units, registers lock
keys read from their USB sticks, deletes registrations, sets the service's
port and cooperation password, and copies keys to another key server.")

include(CPack)
