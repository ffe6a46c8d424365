# Installing: the program files stay together under lib/clipwright/ (the program looks for
# language/ and help/ beside itself), with links in bin/, a desktop entry and an icon.
set(CW_PROGRAM_DIR lib/clipwright)

install(TARGETS clipwright clipwright-cli RUNTIME DESTINATION ${CW_PROGRAM_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/language ${CMAKE_SOURCE_DIR}/help
    DESTINATION ${CW_PROGRAM_DIR})
# Named by the program's reverse-DNS id, as its AppStream metainfo is.
install(FILES ${CMAKE_SOURCE_DIR}/resources/clipwright.desktop
    DESTINATION share/applications RENAME org.clipwright.Clipwright.desktop)
install(FILES ${CMAKE_SOURCE_DIR}/resources/org.clipwright.Clipwright.metainfo.xml
    DESTINATION share/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/resources/clipwright.svg
    DESTINATION share/icons/hicolor/scalable/apps)
# The pictures the metainfo lists (published under the homepage), for a local copy of it.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/screenshots DESTINATION share/clipwright)

# Relative links, so a staged install (DESTDIR) or a moved prefix keeps working.
foreach(program clipwright clipwright-cli)
    install(CODE "
        set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
        file(MAKE_DIRECTORY \"\${bin}\")
        file(REMOVE \"\${bin}/${program}\")
        file(CREATE_LINK ../${CW_PROGRAM_DIR}/${program} \"\${bin}/${program}\" SYMBOLIC)
        message(STATUS \"Installing: \${bin}/${program} -> ../${CW_PROGRAM_DIR}/${program}\")")
endforeach()

install(FILES ${CMAKE_BINARY_DIR}/man/clipwright.1 ${CMAKE_BINARY_DIR}/man/clipwright-cli.1
    DESTINATION share/man/man1)

# The desktop finds the programs for a type through the folder's mimeinfo.cache, not the entries
# themselves. A package leaves it to the system's trigger (DESTDIR is set); a prefix install
# refreshes it here.
find_program(CW_UPDATE_DESKTOP_DATABASE update-desktop-database)
if(CW_UPDATE_DESKTOP_DATABASE)
    install(CODE "
        if(NOT \"\$ENV{DESTDIR}\")
            execute_process(COMMAND ${CW_UPDATE_DESKTOP_DATABASE} -q
                \"\${CMAKE_INSTALL_PREFIX}/share/applications\")
        endif()")
endif()
