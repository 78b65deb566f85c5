# Where `cmake --install` puts Tamsel, and the Debian package `make package` builds from it.
# Programs go to bin, the component library to lib/tamsel, the web application's templates
# and static files to share/tamsel; each program finds its files from its own location, so
# a run from the build folder and one from the installed tree behave alike.
include(GNUInstallDirs)

foreach(program tamsel TamselCollector TamselAlerts TamselWeb)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(TARGET TamselReportsCom)
  install(TARGETS TamselReportsCom LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/tamsel)
endif()
if(TARGET TamselWeb)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/web/templates ${PROJECT_SOURCE_DIR}/web/static
          DESTINATION ${CMAKE_INSTALL_DATADIR}/tamsel)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tamsel)
set(CPACK_PACKAGE_VERSION 1.12.0)
set(CPACK_PACKAGE_CONTACT "Tamsel administrators <root@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Event log collection, reports and alerts")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The shared libraries the programs link decide the package's dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
