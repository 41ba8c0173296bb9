# Installing the show and packaging it as a .deb, and the tests of both.
#
# Under the prefix, in the GNU install folders: the launcher bin/demo (the run
# wrapper, set to play the installed show), the show itself lib/demo/demo, its
# data share/demo/ (both modules and grafik/, where the launcher starts it and
# which it only reads), the manual page in section 6 and the copyright file
# under share/doc/demo/.
include(GNUInstallDirs)

set(DEMO_DATA_DIR ${CMAKE_INSTALL_DATADIR}/${PROJECT_NAME})
# A program's private binaries go to lib/NAME on Debian, whatever the
# library folder (lib/<triplet> for a /usr prefix).
set(DEMO_PROGRAM_DIR lib/${PROJECT_NAME})

# The launcher is run-demo.sh with its one switch turned to the installed show;
# the wrapper finds the show and its data relative to its own folder, so the
# three folders must keep their places beside each other.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/run-demo.sh)
file(READ ${CMAKE_SOURCE_DIR}/run-demo.sh DEMO_LAUNCHER)
string(REPLACE "\ninstalled=no " "\ninstalled=yes " DEMO_LAUNCHER_INSTALLED "${DEMO_LAUNCHER}")
if(DEMO_LAUNCHER_INSTALLED STREQUAL DEMO_LAUNCHER)
  message(FATAL_ERROR "run-demo.sh has no line \"installed=no\" for the launcher")
endif()
if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin" OR IS_ABSOLUTE "${DEMO_DATA_DIR}")
  message(FATAL_ERROR "The launcher finds the show and its data relative to its own folder: "
    "keep the install folders bin and share relative")
endif()
foreach(dir ${DEMO_DATA_DIR} ${DEMO_PROGRAM_DIR})
  string(FIND "${DEMO_LAUNCHER}" "\$here/../${dir}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "run-demo.sh does not look for the installed show in ../${dir}")
  endif()
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/launcher/demo "${DEMO_LAUNCHER_INSTALLED}")

# Debian keeps manual pages compressed.
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/demo.6.gz
  COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/packaging/demo.6 > ${CMAKE_BINARY_DIR}/demo.6.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/demo.6
  COMMENT "Compressing the manual page")
add_custom_target(manual_page ALL DEPENDS ${CMAKE_BINARY_DIR}/demo.6.gz)

install(PROGRAMS ${CMAKE_BINARY_DIR}/launcher/demo DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS demo RUNTIME DESTINATION ${DEMO_PROGRAM_DIR})
install(FILES ${RUN_DIR}/vorbel.xm ${RUN_DIR}/knark.xm DESTINATION ${DEMO_DATA_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/grafik DESTINATION ${DEMO_DATA_DIR})
install(FILES ${CMAKE_BINARY_DIR}/demo.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The .deb: `cmake --build BUILD --target package` writes demo_VERSION_ARCH.deb,
# VERSION the project's. A package build configures with -DDEMO_TOOLS=OFF: the
# show, its modules and its art, and of the tools only the module compiler.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "demo maintainers <maintainers@users.noreply.c-seed-36e481eb.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-running audiovisual demo for the text terminal")
# The long description, in lines the size of a control file's.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "For about three minutes it plays a fixed, timed sequence of full-screen"
  "scenes to its own tracker music: a count-in, big words in a block-letter"
  "font, title cards, signal waves, a vortex, fire, fireworks, worms, a plasma"
  "and a credits scroller, all drawn in an 80 by 24 grid of coloured character"
  "cells. Run it as `demo` in a terminal of at least 80x25.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The runtime libraries (libxmp4, libsdl2-2.0-0, the C and C++ libraries) as
# dpkg-shlibdeps finds them in the program.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)

if(DEMO_TESTS)
  # The package step's quiet install, with a stand-in apt.
  add_test(NAME install.PackageStep.AptQuietUnlessItFails
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/packages_test.sh ${CMAKE_SOURCE_DIR}/scripts/packages.sh)
  # Installs into a temporary folder and plays the installed show for a few
  # seconds; makes the .deb and reads its contents.
  add_test(NAME install.Installed.PlaysAndPackages
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/install_test.sh ${CMAKE_BINARY_DIR})
endif()
