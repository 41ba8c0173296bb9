# Installing the show and packaging it as a .deb, and the tests of both.

if(DEMO_TESTS)
  # The package step's quiet install, with a stand-in apt.
  add_test(NAME install.PackageStep.AptQuietUnlessItFails
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/packages_test.sh ${CMAKE_SOURCE_DIR}/scripts/packages.sh)
endif()
