# What `cmake --install` puts beside the program, and how CPack packs the
# Windows program: a zip to download. (The Debian package is built from
# debian/ by dpkg-buildpackage.)

set(CPACK_PACKAGE_NAME taschenrechner)
set(CPACK_PACKAGE_VENDOR "The taschenrechner developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive four-function calculator with German texts")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# Whatever the umask of whoever builds: directories as every package has them.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # Texts for Windows' editors: CR LF line ends. The German text in
  # UTF-16LE with its byte-order mark, the one form that every Notepad and
  # the console's `type` show with its umlauts, whatever the code page.
  configure_file(LICENSE LICENSE.txt NEWLINE_STYLE CRLF)
  configure_file(packaging/windows/LIESMICH.txt packaging/LIESMICH-utf8.txt @ONLY NEWLINE_STYLE CRLF)
  find_program(ICONV iconv REQUIRED)
  execute_process(COMMAND sh -c "{ printf '\\357\\273\\277'; cat packaging/LIESMICH-utf8.txt; } | '${ICONV}' -f UTF-8 -t UTF-16LE"
                  WORKING_DIRECTORY ${PROJECT_BINARY_DIR} OUTPUT_FILE ${PROJECT_BINARY_DIR}/LIESMICH.txt
                  COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${PROJECT_BINARY_DIR}/LICENSE.txt ${PROJECT_BINARY_DIR}/LIESMICH.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME taschenrechner-${PROJECT_VERSION}-windows-x86)
else()
  # A Debian package carries the licence as its copyright file instead.
  option(TASCHENRECHNER_INSTALL_LICENSE "Install LICENSE beside the README" ON)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  if(TASCHENRECHNER_INSTALL_LICENSE)
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  endif()
endif()

# The same commit gives the same package bytes: time stamps, modes and
# order taken from the sources, not from the time, the time zone, the umask
# or the file system.
configure_file(cmake/cpack_reproducible.cmake CPackReproducible.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackReproducible.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/normalise_package.cmake)

if(WIN32)
  include(CPack)
endif()
