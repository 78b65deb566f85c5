# Where `cmake --install` puts Tamsel, and the Debian package `make package` builds from it.
# Programs go to bin, the component library to lib/tamsel (its AppConfig.xml a link to the
# template in /etc/tamsel, a conffile like tamsel.env), the web application's templates and static files to share/tamsel,
# the demo to lib/tamsel and share/tamsel/demo, man pages to share/man, the systemd units to
# lib/systemd/system; /var/lib/tamsel is the network root. Each program finds its files from
# its own location, so a run from the build folder and one from the installed tree behave
# alike.
include(GNUInstallDirs)

set(TAMSEL_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(TAMSEL_SYSCONF_DIR /etc/tamsel)
set(TAMSEL_STATE_DIR /var/lib/tamsel)

foreach(program tamsel TamselCollector TamselAlerts TamselWeb)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(TARGET TamselReportsCom)
  install(TARGETS TamselReportsCom LIBRARY DESTINATION lib/tamsel)
  # The component reads AppConfig.xml beside itself; the administrator edits it in /etc. The
  # link is relative (from /usr/lib/tamsel), so a tree unpacked under another root finds its
  # own copy.
  file(CREATE_LINK ../../..${TAMSEL_SYSCONF_DIR}/AppConfig.xml
       ${CMAKE_CURRENT_BINARY_DIR}/AppConfig.xml.link SYMBOLIC)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/AppConfig.xml.link
          DESTINATION lib/tamsel RENAME AppConfig.xml)
endif()
if(TARGET TamselWeb)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/web/templates ${PROJECT_SOURCE_DIR}/web/static
          DESTINATION ${CMAKE_INSTALL_DATADIR}/tamsel)
endif()
install(PROGRAMS ${TAMSEL_PACKAGING}/tamsel-setup DESTINATION lib/tamsel)
install(FILES ${TAMSEL_PACKAGING}/AppConfig.xml ${TAMSEL_PACKAGING}/tamsel.env
        DESTINATION ${TAMSEL_SYSCONF_DIR})
install(FILES ${TAMSEL_PACKAGING}/tamsel-scm.service ${TAMSEL_PACKAGING}/tamsel-web.service
        DESTINATION lib/systemd/system)
install(FILES ${TAMSEL_PACKAGING}/man/tamsel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TAMSEL_PACKAGING}/man/TamselCollector.8 ${TAMSEL_PACKAGING}/man/TamselAlerts.8
              ${TAMSEL_PACKAGING}/man/TamselWeb.8
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(DIRECTORY DESTINATION ${TAMSEL_STATE_DIR})

# The demo: its program and message tables, and the script that runs it from the installed
# programs (tamsel-demo).
if(TARGET tamsel_demo_network)
  install(TARGETS tamsel_demo_network RUNTIME DESTINATION lib/tamsel)
  foreach(dll tamsel_demo_shop_dll tamsel_demo_scm_dll tamsel_demo_security_dll)
    install(FILES $<TARGET_PROPERTY:${dll},TAMSEL_MESSAGE_DLL>
            DESTINATION ${CMAKE_INSTALL_DATADIR}/tamsel/demo)
  endforeach()
  install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/demo DESTINATION ${CMAKE_INSTALL_BINDIR}
          RENAME tamsel-demo)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tamsel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION}.0)
set(CPACK_PACKAGE_CONTACT "Tamsel administrators <root@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Event log collection, reports and alerts")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
# The shared libraries the programs link decide most dependencies; the maintainer scripts
# need the tools that make the user and run setup as it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd, util-linux")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "postgresql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${TAMSEL_PACKAGING}/postinst ${TAMSEL_PACKAGING}/prerm ${TAMSEL_PACKAGING}/postrm
    ${TAMSEL_PACKAGING}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# zstd: several times faster than gzip on this size, and read by the dpkg of Debian 12.
set(CPACK_DEBIAN_COMPRESSION_TYPE zstd)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
