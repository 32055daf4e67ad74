# Where `cmake --install` puts the programs and the files that make them part of the desktop,
# and the Debian package that CPack builds from the same rules.
include(GNUInstallDirs)

install(TARGETS quendra-convert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(QUENDRA_MAN_PAGES quendra-convert)
if(QUENDRA_GUI)
  install(TARGETS quendra RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES data/quendra.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES data/org.quendra.quendra.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(DIRECTORY data/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
  list(APPEND QUENDRA_MAN_PAGES quendra)
endif()

# Man pages go in compressed, as Debian expects; -n keeps the bytes free of time stamps.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(QUENDRA_MAN_OUTPUTS)
foreach(page IN LISTS QUENDRA_MAN_PAGES)
  set(out ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${CMAKE_SOURCE_DIR}/data/man/${page}.1 > ${out}
    DEPENDS ${CMAKE_SOURCE_DIR}/data/man/${page}.1 VERBATIM)
  list(APPEND QUENDRA_MAN_OUTPUTS ${out})
endforeach()
add_custom_target(quendra_man_pages ALL DEPENDS ${QUENDRA_MAN_OUTPUTS})
install(FILES ${QUENDRA_MAN_OUTPUTS} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# What Debian asks of every package's documentation folder: the copyright, and the changelog
# compressed (a native package's changelog.gz).
set(QUENDRA_CHANGELOG ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${QUENDRA_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND ${GZIP_PROGRAM} -9 -n -c ${CMAKE_SOURCE_DIR}/data/doc/changelog > ${QUENDRA_CHANGELOG}
  DEPENDS ${CMAKE_SOURCE_DIR}/data/doc/changelog VERBATIM)
add_custom_target(quendra_changelog ALL DEPENDS ${QUENDRA_CHANGELOG})
install(FILES data/doc/copyright ${QUENDRA_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quendra)

set(CPACK_PACKAGE_NAME quendra)
set(CPACK_PACKAGE_VENDOR "Quendra")
set(CPACK_PACKAGE_CONTACT "Quendra developers <maintainers@quendra.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small, fast picture viewer")
# Lines of at most 80 characters, as Debian's tools show them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Quendra shows one picture at a time beside a collapsible list of the pictures\n"
  "of one folder. It steps through them by keyboard, mouse wheel or slideshow,\n"
  "turns, copies and saves them, and reads BMP, JPEG, PNG, GIF, Targa, JPEG 2000,\n"
  "PCX and TIFF files. quendra-convert loads a picture the same way and writes it\n"
  "in another format.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries the programs link come from dpkg-shlibdeps; what is only loaded at run time is named:
# the decoders opened on their first picture, and Qt's platform plugins, without which no window
# opens.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
get_property(lazy_packages GLOBAL PROPERTY QUENDRA_LAZY_PACKAGES)
list(REMOVE_DUPLICATES lazy_packages)
if(QUENDRA_GUI)
  list(APPEND lazy_packages qt6-qpa-plugins)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info")
endif()
list(JOIN lazy_packages ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)
include(CPack)
