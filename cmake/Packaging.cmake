# Desktop integration and the Debian package (`cmake --build build --target package`).
# The program directory itself is installed by the subsystems' own rules, in
# ${SONABOX_INSTALL_DIR} below the prefix; this adds what a desktop user expects around it.

set(SONABOX_APP_ID io.github.sonabox.Sonabox)
set(packaging_source ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_binary ${CMAKE_BINARY_DIR}/packaging)

install(FILES ${packaging_source}/${SONABOX_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${packaging_source}/${SONABOX_APP_ID}.svg
        DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${packaging_source}/${SONABOX_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${packaging_source}/copyright DESTINATION share/doc/sonabox)

# Debian wants the manual page and the changelog compressed, without a time stamp.
foreach(file sonabox.1 changelog)
    add_custom_command(OUTPUT ${packaging_binary}/${file}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_binary}
        COMMAND gzip -9n -c ${packaging_source}/${file} > ${packaging_binary}/${file}.gz
        DEPENDS ${packaging_source}/${file})
    list(APPEND compressed ${packaging_binary}/${file}.gz)
endforeach()
add_custom_target(sonabox_packaging_docs ALL DEPENDS ${compressed})
install(FILES ${packaging_binary}/sonabox.1.gz DESTINATION share/man/man1)
install(FILES ${packaging_binary}/changelog.gz DESTINATION share/doc/sonabox)

# The sonabox command is a relative link to the launcher, which starts the program in its own
# directory. The batch runs the house encoder as "codec", a copy of "mp3.dll" that it makes
# in the program directory; an installed program directory is not writable by its users, so
# the copy is installed with it.
file(RELATIVE_PATH launcher_from_bin /usr/bin /usr/${SONABOX_INSTALL_DIR}/start-sonabox)
install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(CREATE_LINK \"${launcher_from_bin}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/sonabox\" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${CMAKE_INSTALL_PREFIX}/bin/sonabox\")
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${SONABOX_INSTALL_DIR}\" TYPE PROGRAM
         RENAME codec FILES \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${SONABOX_INSTALL_DIR}/mp3.dll\")
")

# The installed programs and libraries lose the compiler's notes with their symbols.
if(CMAKE_STRIP AND NOT CMAKE_STRIP MATCHES "strip-notes$")
    set(SONABOX_SYSTEM_STRIP ${CMAKE_STRIP} CACHE FILEPATH "The strip program behind strip-notes")
endif()
configure_file(${packaging_source}/strip-notes.in ${packaging_binary}/strip-notes @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                     WORLD_EXECUTE)
set(CMAKE_STRIP ${packaging_binary}/strip-notes CACHE FILEPATH "strip with the notes" FORCE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sonabox)
set(CPACK_PACKAGE_VENDOR "Sonabox developers")
set(CPACK_PACKAGE_CONTACT "Sonabox developers <sonabox@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert audio files to MP3 and MPEG audio files to WAV")
set(CPACK_PACKAGE_DESCRIPTION "\
Sonabox is a small desktop front-end for MPEG audio files. It encodes queued
WAV, FLAC, AIFF, Ogg Vorbis, Opus, M4A (AAC and ALAC), WMA, APE, WavPack, TTA
and DSF/DFF files, and the audio of MKA, MKV, WebM, MP4 and MOV files, to MPEG
Layer I, II or III with one of three encoder programs that come with it, with
their tags and cover art; 5.1 sources are mixed down to stereo and albums kept
as one file with a cue sheet are split into tracks. It decodes queued MP3 and
MP2 files to 16-bit WAV files. Every file can be played, paused and stopped
before it is converted.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Help (F1) and About's links go through xdg-open; the Qt platform plugin for Wayland sessions.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_POST_BUILD_SCRIPTS ${packaging_source}/drop-ldconfig-scripts.cmake)
include(CPack)
