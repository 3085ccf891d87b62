# Installation layout and the Debian package.
#
#   <prefix>/bin/tandrel, tandrel-cli
#   <prefix>/share/tandrel/{skins,help,sounds}      found by platform::AppPaths::DataDir() as
#                                                   ../share/tandrel from the program's folder
#   <prefix>/share/applications/<id>.desktop       "Open with" for the open dialog's file types
#   <prefix>/share/metainfo/<id>.metainfo.xml      AppStream description
#   <prefix>/share/icons/hicolor/{scalable,NxN}/apps/tandrel.{svg,png}
#   <prefix>/share/doc/tandrel/{README.md,copyright,changelog.gz}
#   <prefix>/share/man/man1/{tandrel,tandrel-cli}.1.gz
#
# The skins, help and sound install rules sit beside the targets that copy them into the build
# tree (src/app/windows.cmake, src/player/player.cmake), so a build folder and an installed
# prefix hold the same data.

set(TANDREL_APP_ID example.tandrel.Tandrel)
set(TANDREL_RELEASE_DATE 2026-12-09)

include(GNUInstallDirs)

install(TARGETS tandrel tandrel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(TANDREL_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/resources/desktop)
install(FILES ${TANDREL_DESKTOP_DIR}/${TANDREL_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${TANDREL_DESKTOP_DIR}/${TANDREL_APP_ID}.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/${TANDREL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${TANDREL_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(TANDREL_ICON_DIR ${PROJECT_SOURCE_DIR}/resources/icons)
install(FILES ${TANDREL_ICON_DIR}/tandrel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY ${TANDREL_ICON_DIR}/hicolor/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor
        FILES_MATCHING PATTERN "*.png")
# The window icon of a program started from the build folder (bin/icons/tandrel.png).
configure_file(${TANDREL_ICON_DIR}/hicolor/256x256/apps/tandrel.png
               ${CMAKE_BINARY_DIR}/bin/icons/tandrel.png COPYONLY)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tandrel)

# Manual pages, the copyright file and the changelog, compressed as Debian keeps them (gzip
# -9n: no name or time stamp inside). tandrel(1) is written by hand; tandrel-cli(1) is made
# from the program's own help, so it lists the options the program has.
set(TANDREL_DOC_DIR ${CMAKE_BINARY_DIR}/doc)
execute_process(COMMAND date -u -R -d ${TANDREL_RELEASE_DATE}
                OUTPUT_VARIABLE TANDREL_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(${PROJECT_SOURCE_DIR}/resources/man/tandrel.1 ${TANDREL_DOC_DIR}/tandrel.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/debian/changelog.in ${TANDREL_DOC_DIR}/changelog
               @ONLY)
add_custom_command(OUTPUT ${TANDREL_DOC_DIR}/tandrel-cli.1
    COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/cli-manpage.sh $<TARGET_FILE:tandrel-cli>
            ${PROJECT_VERSION} ${TANDREL_RELEASE_DATE} ${TANDREL_DOC_DIR}/tandrel-cli.1
    DEPENDS tandrel-cli ${PROJECT_SOURCE_DIR}/cmake/cli-manpage.sh
    COMMENT "Writing the manual page of tandrel-cli from its help" VERBATIM)
set(TANDREL_COMPRESSED_DOCS)
foreach(doc tandrel.1 tandrel-cli.1 changelog)
    add_custom_command(OUTPUT ${TANDREL_DOC_DIR}/${doc}.gz
        COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${TANDREL_DOC_DIR}/${doc}
                ${TANDREL_DOC_DIR}/${doc}.gz
        DEPENDS ${TANDREL_DOC_DIR}/${doc} VERBATIM)
    list(APPEND TANDREL_COMPRESSED_DOCS ${TANDREL_DOC_DIR}/${doc}.gz)
endforeach()
add_custom_target(tandrel_docs ALL DEPENDS ${TANDREL_COMPRESSED_DOCS})
install(FILES ${TANDREL_DOC_DIR}/tandrel.1.gz ${TANDREL_DOC_DIR}/tandrel-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright ${TANDREL_DOC_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tandrel)

# --- Debian package: cpack -G DEB in the build folder ---
#
# The media libraries and SDL are bound at run time (dlopen), so dpkg-shlibdeps cannot see them:
# they are listed here, at the generation the loader accepts (same major version as the headers
# of Debian 12, minor at least theirs). avdevice is not among them: neither the conversion nor
# the player set binds it. dpkg-shlibdeps adds what the programs link (Qt 6, the C++
# run time, libopencore-amrnb). The CJK font draws the Chinese interface, Qt's translations
# put Qt's own dialogs and menus in Chinese; the Qt platform plugins for X11 come with libqt6gui6.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tandrel)
set(CPACK_PACKAGE_VENDOR "The Tandrel developers")
set(CPACK_PACKAGE_CONTACT "Tandrel <support@tandrel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "audio and video batch converter")
# The synopsis comes from the summary above; this is the extended description (one string:
# CPack indents its lines).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tandrel converts audio and video files in batches: a job list, 80 output
profiles, an options dialog, several files converted at once with progress
per file, a player panel with snapshots and a media information window.
The interface is in Simplified Chinese. tandrel-cli offers the same engine
from a terminal.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tandrel.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(TANDREL_FFMPEG_MIN "7:5.1")
string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS
    "libavutil57 (>= ${TANDREL_FFMPEG_MIN})"
    "libswresample4 (>= ${TANDREL_FFMPEG_MIN})"
    "libswscale6 (>= ${TANDREL_FFMPEG_MIN})"
    "libavcodec59 (>= ${TANDREL_FFMPEG_MIN})"
    "libavformat59 (>= ${TANDREL_FFMPEG_MIN})"
    "libavfilter8 (>= ${TANDREL_FFMPEG_MIN})"
    "libsdl2-2.0-0 (>= 2.0.12)"
    "fonts-noto-cjk"
    "qt6-translations-l10n")
# Installed programs carry no debugging information.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY tandrel)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
