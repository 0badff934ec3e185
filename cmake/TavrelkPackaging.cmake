# cpack -G DEB (from the build folder, after the build) makes
# tavrelk_<version>_<arch>.deb of everything the install rules name. Its
# dependencies come from the binaries themselves (dpkg-shlibdeps).

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrelk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavrelk maintainers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for the Korg DW-8000 driven by a Behringer BCR2000")
set(CPACK_PACKAGE_DESCRIPTION
"Tavrelk turns a Behringer BCR2000 control surface into a hardware front
panel for a Korg DW-8000 synthesizer. Every encoder and button move becomes
a DW-8000 parameter change at once, and the value appears on a block
diagram of the synthesizer's voice. The editor fetches a program's patch,
shows it with its envelope graphs, and sends every value back to the
BCR2000 so that its LED rings show the patch. A patch library (SQLite)
keeps every patch the editor sees, with search, similarity and banks made
from it.

The package also holds tavrelk-sim, a simulated DW-8000 and BCR2000 on
MIDI ports for trying the editor without hardware, and the BCR2000 preset
that Tavrelk uploads to the unit.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(TAVRELK_PACKAGE_CONTACT "Tavrelk maintainers <maintainers@tavrelk.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${TAVRELK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The patch library's SQLite driver is a Qt plugin, which no binary links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6sql6-sqlite)
# JACK is one of the MIDI systems; ALSA's sequencer needs nothing extra.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS jackd2)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(TAVRELK_PROJECT_URL)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TAVRELK_PROJECT_URL}")
endif()

include(CPack)
