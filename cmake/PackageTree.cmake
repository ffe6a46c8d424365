# SPDX-License-Identifier: GPL-2.0-or-later
# Run by CPack on the staged tree before it is packed: Debian's copyright file and changelog,
# and manual pages compressed (gzip -n: the same bytes every build).
file(GLOB_RECURSE staged_usr LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/usr")
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr")
if(NOT IS_DIRECTORY "${root}")
    list(GET staged_usr 0 root)
endif()
set(doc "${root}/share/doc/clipwright")
file(MAKE_DIRECTORY "${doc}")
file(COPY "${CPACK_CW_PACKAGE_FILES}/copyright" DESTINATION "${doc}")
execute_process(COMMAND gzip -9 -n -c "${CPACK_CW_PACKAGE_FILES}/changelog"
    OUTPUT_FILE "${doc}/changelog.Debian.gz" COMMAND_ERROR_IS_FATAL ANY)
file(GLOB pages "${root}/share/man/man1/*.1")
foreach(page ${pages})
    execute_process(COMMAND gzip -9 -n -f "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
