# What an administrator gets besides the binaries, and the two Debian packages (CPack)
# that carry it: `cmake --build BUILD --target package` writes dorv_VERSION_ARCH.deb, the
# agent for every monitored host, and dorv-console_VERSION_ARCH.deb, the console, dorv-mux,
# the submitter, the scheduler definitions and the systemd units for the monitoring server.
#
# The agent reads /etc/dorv/dorv.ini and the packaged configuration logs to
# /var/log/dorv whatever the installation prefix, so those go to their absolute places.
# `cmake --install` keeps a configuration that is already there.
set(pkg ${PROJECT_SOURCE_DIR}/packaging)
set(DORV_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/dorv)
set(DORV_CONSOLE_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/dorv-console)

# ---- The agent: package dorv ----------------------------------------------------------
install(CODE "
  if(NOT EXISTS \"\$ENV{DESTDIR}/etc/dorv/dorv.ini\")
    file(INSTALL DESTINATION /etc/dorv TYPE FILE FILES \"${pkg}/dorv.ini\")
  endif()" COMPONENT agent)
install(FILES ${pkg}/logrotate DESTINATION /etc/logrotate.d RENAME dorv COMPONENT agent)
install(DIRECTORY DESTINATION /var/log/dorv COMPONENT agent)
install(FILES README.md docs/configuration.md docs/hardening.md docs/PERFORMANCE.md
        DESTINATION ${DORV_DOCDIR} COMPONENT agent)
install(FILES ${pkg}/dorv.ini DESTINATION ${DORV_DOCDIR}/examples COMPONENT agent)

# ---- The console: package dorv-console -----------------------------------------------
install(FILES README.md docs/console.md DESTINATION ${DORV_CONSOLE_DOCDIR} COMPONENT console)
install(DIRECTORY contrib/nagios contrib/icinga2 contrib/prometheus DESTINATION ${DORV_CONSOLE_DOCDIR}/contrib COMPONENT console)
# The exporter's unit is an example: it needs an account the administrator makes.
install(FILES contrib/systemd/dorv-exporter.service DESTINATION ${DORV_CONSOLE_DOCDIR}/contrib/systemd COMPONENT console)
# Installed, not enabled: the host list, the API password and the scheduler's address are
# the administrator's to give first (docs/console.md, "Many hosts").
install(FILES contrib/systemd/dorv-console-hosts.service contrib/systemd/dorv-console-hosts.timer
        DESTINATION lib/systemd/system COMPONENT console)

# Debian wants each package's copyright file and a compressed changelog in its doc directory.
configure_file(${pkg}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/packaging/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog)
add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
foreach(component agent console)
  if(component STREQUAL agent)
    set(name dorv)
  else()
    set(name dorv-console)
  endif()
  install(FILES ${pkg}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${name} COMPONENT ${component})
  install(FILES ${pkg}/${name}.lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
          RENAME ${name} COMPONENT ${component})
endforeach()

# ---- The packages ----------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL agent console)
set(CPACK_PACKAGE_NAME dorv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The dorv authors <dorv@example.org>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE arch
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT arch)
  set(arch ${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${arch})
set(DORV_DEB_FILE ${CMAKE_BINARY_DIR}/dorv_${PROJECT_VERSION}_${arch}.deb)
set(DORV_CONSOLE_DEB_FILE ${CMAKE_BINARY_DIR}/dorv-console_${PROJECT_VERSION}_${arch}.deb)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/dorv")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The agent is one static binary: it depends on the commands it runs and on the tool its
# script makes the account with, on no shared library.
set(CPACK_DEBIAN_AGENT_PACKAGE_NAME dorv)
set(CPACK_DEBIAN_AGENT_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_AGENT_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_AGENT_PACKAGE_DEPENDS "procps, adduser")
set(CPACK_DEBIAN_AGENT_PACKAGE_RECOMMENDS "openssh-server")
set(CPACK_DEBIAN_AGENT_PACKAGE_SUGGESTS "logrotate, monitoring-plugins-basic")
set(CPACK_DEBIAN_AGENT_PACKAGE_CONTROL_EXTRA ${pkg}/postinst ${pkg}/conffiles)
set(CPACK_DEBIAN_AGENT_DESCRIPTION "monitoring agent for Unix hosts, run over SSH
dorv answers a monitoring console's checks over one SSH connection:
CPU load, disk space, free RAM, free swap, whether a named process runs,
and any monitoring plugin the administrator declares. It runs as the
forced command of an SSH key, reads vmstat, df, top and ps, and needs no
daemon. Install it on every monitored host; the console is in dorv-console.")

# The console: what its submitter links (libcurl) comes from the shared-library scan. It
# takes over the files that the single package of 0.1.0 held.
set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME dorv-console)
set(CPACK_DEBIAN_CONSOLE_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_DEPENDS "openssh-client")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SUGGESTS "nagios4 | icinga2")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_BREAKS "dorv (<< 0.2.0)")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_REPLACES "dorv (<< 0.2.0)")
set(CPACK_DEBIAN_CONSOLE_DESCRIPTION "monitoring plugin that runs dorv's checks over SSH
dorv-console is the other end of the dorv agent: a monitoring plugin for
Nagios, Naemon and Icinga 2 that runs one or several checks per SSH
connection, keeps a connection per host for the next check, and delivers
results actively, as passive results, or to the Icinga 2 API. Install it on
the monitoring server; the agent, on each monitored host, is in dorv.")
include(CPack)
