# Run by cpack between staging the installed files and packing them: a Debian
# package carries its copyright file and its changelog (gzip -9n, as the man
# pages) in /usr/share/doc/PACKAGE. They are the package's, not the
# program's: `cmake --install` leaves them out.
set(doc "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")
file(COPY "${CPACK_TAVROLIN_DEB_DIR}/copyright" "${CPACK_TAVROLIN_DEB_DIR}/changelog" DESTINATION "${doc}"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
execute_process(COMMAND gzip -9nf "${doc}/changelog" COMMAND_ERROR_IS_FATAL ANY)
