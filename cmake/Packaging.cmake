# Binary packages of the installed tree (see the install() rules):
#
#   cd build/release && cpack -G DEB        -> korvelin_<version>_<arch>.deb
#   cd build/windows-cross && cpack -G ZIP  -> korvelin-<version>-win64.zip
#
# The Debian package takes its dependencies from the binaries themselves
# (dpkg-shlibdeps, in Debian's dpkg-dev), so they follow whatever libraries
# the compiler of the build machine links, and installs under /usr.

set(KORVELIN_PACKAGE_MAINTAINER "korvelin developers <korvelin@example.org>"
  CACHE STRING "Maintainer named in the binary packages")

set(CPACK_PACKAGE_NAME korvelin)
set(CPACK_PACKAGE_VENDOR "korvelin developers")
set(CPACK_PACKAGE_CONTACT "${KORVELIN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Magnetic entropy change from magnetisation isotherms")
set(CPACK_PACKAGE_INSTALL_DIRECTORY korvelin)
set(CPACK_STRIP_FILES ON)
# Only the "package" target is wanted; a source archive of a build folder
# would carry the build along.
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_DEBIAN_PACKAGE_NAME korvelin)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KORVELIN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Files and folders get the modes Debian expects (0755 folders and
# programs, 0644 documents), not those of the build user's umask.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack puts the summary above as the first line and this text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "korvelin computes the isothermal magnetic entropy change of a
magnetocaloric material from magnetisation-versus-field isotherms by the
Maxwell relation. It reads a control file KORVELIN.inp and one magnetometer
export per temperature and writes the table KORVELIN.dat in J/(kg K).
.
korvelin-report gives the figures of merit (peak, FWHM, RCP, RC, TEC, field
exponent) of a result table with SVG plots; korvelin-prep checks and
converts magnetometer exports for korvelin. An example data set is in
/usr/share/doc/korvelin/examples/gd.")

include(CPack)
