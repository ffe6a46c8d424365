# Installing: the program files stay together under lib/clipwright/ (the program looks for
# language/ and help/ beside itself), with links in bin/, a desktop entry and an icon.
set(CW_PROGRAM_DIR lib/clipwright)

install(TARGETS clipwright clipwright-cli RUNTIME DESTINATION ${CW_PROGRAM_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/language ${CMAKE_SOURCE_DIR}/help
    DESTINATION ${CW_PROGRAM_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/resources/clipwright.desktop
    DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/clipwright.svg
    DESTINATION share/icons/hicolor/scalable/apps)

# Relative links, so a staged install (DESTDIR) or a moved prefix keeps working.
foreach(program clipwright clipwright-cli)
    install(CODE "
        set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
        file(MAKE_DIRECTORY \"\${bin}\")
        file(REMOVE \"\${bin}/${program}\")
        file(CREATE_LINK ../${CW_PROGRAM_DIR}/${program} \"\${bin}/${program}\" SYMBOLIC)
        message(STATUS \"Installing: \${bin}/${program} -> ../${CW_PROGRAM_DIR}/${program}\")")
endforeach()

install(FILES ${CMAKE_BINARY_DIR}/man/clipwright-cli.1 DESTINATION share/man/man1)
