# What an administrator gets besides the two binaries, and the Debian package (CPack)
# that carries it all: `cmake --build BUILD --target package` writes
# dorv_VERSION_ARCH.deb.
#
# The agent reads /etc/dorv/dorv.ini and the packaged configuration logs to
# /var/log/dorv whatever the installation prefix, so those go to their absolute places.
# `cmake --install` keeps a configuration that is already there.
set(DORV_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/dorv)
set(pkg ${PROJECT_SOURCE_DIR}/packaging)

install(CODE "
  if(NOT EXISTS \"\$ENV{DESTDIR}/etc/dorv/dorv.ini\")
    file(INSTALL DESTINATION /etc/dorv TYPE FILE FILES \"${pkg}/dorv.ini\")
  endif()")
install(FILES ${pkg}/logrotate DESTINATION /etc/logrotate.d RENAME dorv)
install(DIRECTORY DESTINATION /var/log/dorv)

install(FILES README.md docs/console.md docs/hardening.md docs/PERFORMANCE.md
        DESTINATION ${DORV_DOCDIR})
install(FILES ${pkg}/dorv.ini DESTINATION ${DORV_DOCDIR}/examples)
install(DIRECTORY contrib/ DESTINATION ${DORV_DOCDIR}/contrib)

# Debian wants its copyright file and a compressed changelog in the doc directory.
configure_file(${pkg}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/packaging/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog)
add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${pkg}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${DORV_DOCDIR})
install(FILES ${pkg}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME dorv)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dorv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The dorv authors <dorv@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "monitoring agent for Unix hosts, run over SSH")
set(CPACK_PACKAGE_DESCRIPTION "dorv answers a monitoring console's checks over one SSH connection:
CPU load, disk space, free RAM, free swap, and whether a named process runs.
It runs as the forced command of an SSH key, reads vmstat, df, top and ps,
and needs no daemon. dorv-console is the other end: a monitoring plugin for
Nagios, Naemon and Icinga 2 that runs one or several checks per connection,
actively or as passive results.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE arch
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT arch)
  set(arch ${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${arch})
set(DORV_DEB_FILE ${CMAKE_BINARY_DIR}/dorv_${PROJECT_VERSION}_${arch}.deb)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/dorv")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "procps, adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "openssh-server")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "logrotate, monitoring-plugins-basic")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${pkg}/postinst ${pkg}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
