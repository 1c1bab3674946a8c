# The Debian package: cpack -G DEB in a build tree.
#
# The package installs where the programs look for their data (the data folder
# is compiled in from CMAKE_INSTALL_PREFIX), so configure with
# -DCMAKE_INSTALL_PREFIX=/usr for a package that belongs in /usr.
set(CPACK_PACKAGE_NAME kestrune)
set(CPACK_PACKAGE_VENDOR "Kestrune")
set(CPACK_PACKAGE_CONTACT "Kestrune developers <kestrune@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "record from the sound card and split the recording into songs")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrune records what the sound card's input plays and cuts the recording at the silences into one file per song. It recognises the songs on line, converts among WAV, MP3, Ogg Vorbis, FLAC and APE, and rips and burns audio CDs. The desktop program is kestrune, the command-line program kestrune-cli.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# What the programs link (Qt, libstdc++, libsoxr, ...) dpkg-shlibdeps finds.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries loaded at run time by name are invisible to dpkg-shlibdeps.
# Recording needs the sound card (ALSA) and, in the default format, the MP3
# encoder: those are required. Every other one serves one format or one
# feature, and the program starts and works without it (the feature says
# "could not be loaded" when used, and the about window "not installed"), so
# they are recommended, which apt installs by default but lets a user leave out.
#
# The desktop program draws its icons through Qt's SVG plug-ins, which Qt
# loads at run time as well: they come with libqt6svg6.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libasound2, libmp3lame0")
if(KESTRUNE_GUI)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6svg6")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "libpulse0, libmpg123-0, libflac12, libogg0, libvorbis0a, libvorbisenc2, libvorbisfile3, libchromaprint1, libcurl4, qt6-wayland")

set(CPACK_GENERATOR DEB)
include(CPack)
