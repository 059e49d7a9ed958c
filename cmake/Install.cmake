# What "cmake --install" puts on the machine (GNU directories under the prefix). The
# programs that need root go to sbin. The key service's unit file is not installed:
# "Oxlade install" writes it, and an installed one would make that install fail; the
# template it writes from is installed for reference.
include(GNUInstallDirs)

# Builds every file of the keyservice component: the control program's systemd tests
# install that component into their sandbox.
add_custom_target(corvane_keyservice)
add_dependencies(corvane_keyservice Ternwick Oxlade corvane-request corvane-admin)

# A man page goes out compressed, as man and Debian's tools expect; the compressed copy
# is made with the programs of its component.
function(corvane_install_man_page source component)
    get_filename_component(name ${source} NAME)
    string(REGEX MATCH "[0-9]$" section ${name})
    set(copy ${CMAKE_BINARY_DIR}/man/${name})
    configure_file(${CMAKE_SOURCE_DIR}/${source} ${copy} COPYONLY)
    add_custom_command(OUTPUT ${copy}.gz COMMAND gzip -9nkf ${copy} DEPENDS ${copy})
    set(compressed ${copy}.gz)
    add_custom_target(man_${name} ALL DEPENDS ${compressed})
    if(component STREQUAL "keyservice")
        add_dependencies(corvane_keyservice man_${name})
    endif()
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endfunction()

install(TARGETS Ternwick Oxlade corvane-admin RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT keyservice)
install(TARGETS corvane-request RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT keyservice)
foreach(page IN ITEMS service/Ternwick.8 control/Oxlade.8 admin/corvane-admin.8 tools/corvane-request.1)
    corvane_install_man_page(${page} keyservice)
endforeach()
install(FILES control/completion/Oxlade admin/completion/corvane-admin
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT keyservice)
install(FILES service/Ternwick.service.in DESTINATION ${CMAKE_INSTALL_DATADIR}/corvane-keyserver COMPONENT keyservice)
# An example for keepalived, which moves one address between two key servers; nothing
# installs or starts keepalived itself.
install(FILES packaging/keepalived.conf DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/corvane-keyserver/examples
        COMPONENT keyservice)

if(TARGET Halvard)
    corvane_install_man_page(console/qt/Halvard.1 console)
endif()
