# What "cmake --install" puts on the machine (GNU directories under the prefix). The
# programs that need root go to sbin. The key service's unit file is not installed:
# "Oxlade install" writes it, and an installed one would make that install fail.
include(GNUInstallDirs)

install(TARGETS Ternwick Oxlade RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT keyservice)
install(TARGETS corvane-request RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT keyservice)
install(FILES control/Oxlade.8 service/Ternwick.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT keyservice)
install(FILES tools/corvane-request.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT keyservice)
install(FILES control/completion/Oxlade
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT keyservice)

install(TARGETS corvane-admin RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT keyservice)
install(FILES admin/corvane-admin.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT keyservice)
install(FILES admin/completion/corvane-admin
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT keyservice)

# Builds every program of the keyservice component: the control program's systemd tests
# install that component into their sandbox.
add_custom_target(corvane_keyservice)
add_dependencies(corvane_keyservice Ternwick Oxlade corvane-request corvane-admin)
