# What `cmake --install` puts beside the program, and how CPack packs it: a
# Debian package on Linux, a zip to download on Windows.

set(TASCHENRECHNER_MAINTAINER "The taschenrechner developers <taschenrechner@example.org>")
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
  option(TASCHENRECHNER_DEBIAN_DOCS "Install the licence and changes as a Debian package keeps them" OFF)
  if(TASCHENRECHNER_DEBIAN_DOCS)
    # A Debian package carries its licence as copyright, in Debian's
    # machine-readable form, and its history as changelog.gz.
    file(READ LICENSE licence)
    string(REGEX REPLACE "^.*\n(Permission is hereby)" "\\1" licence_terms "${licence}")
    string(STRIP "${licence_terms}" licence_terms)
    string(REPLACE "\n\n" "\n.\n" licence_terms "${licence_terms}")
    string(REPLACE "\n" "\n " licence_terms "${licence_terms}")
    file(WRITE ${PROJECT_BINARY_DIR}/packaging/copyright
         "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
         "Upstream-Name: taschenrechner\n\n"
         "Files: *\n"
         "Copyright: 2026 The taschenrechner developers\n"
         "License: Expat\n"
         " ${licence_terms}\n")
    configure_file(packaging/debian/changelog.in packaging/changelog @ONLY)
    add_custom_command(OUTPUT packaging/changelog.gz
                       COMMAND ${GZIP} -9 -n -c changelog > changelog.gz
                       WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/packaging
                       DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog)
    add_custom_target(debian_changelog ALL DEPENDS packaging/changelog.gz)
    install(FILES README.md ${PROJECT_BINARY_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DOCDIR})
  else()
    install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TASCHENRECHNER_MAINTAINER}")
  # The summary above is the synopsis; this is the extended description.
  string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
         "In each pass it asks for an operator sign (+, -, *, /) and two numbers,\n"
         "writes the calculation with its result, waits for a key, clears the\n"
         "screen and starts again. It reads tasks typed ahead or piped in, writes\n"
         "German texts in the user's character set and reports every failed read\n"
         "or write with a line on standard error and its exit status.")
  set(CPACK_DEBIAN_PACKAGE_SECTION math)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Loaded only for line editing at a terminal, so dpkg-shlibdeps cannot see
  # it; without it the program reads a terminal line by line.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libedit2)
endif()

# The same commit gives the same package bytes: time stamps, modes and
# order taken from the sources, not from the time, the time zone, the umask
# or the file system.
configure_file(cmake/cpack_reproducible.cmake CPackReproducible.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackReproducible.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/normalise_package.cmake)

include(CPack)
