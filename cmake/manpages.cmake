# Manual pages: written in scdoc (man/*.scd), rendered to roff and compressed at build
# time, installed under share/man. Without scdoc the pages are left out with a notice.
find_program(SCDOC scdoc)
find_program(GZIP gzip)
set(DORV_MANPAGES dorv.8 dorv-console.1 dorv.ini.5)
set(DORV_MANPAGE_FILES "")
if(SCDOC AND GZIP)
  foreach(page IN LISTS DORV_MANPAGES)
    set(src ${PROJECT_SOURCE_DIR}/man/${page}.scd)
    set(out ${CMAKE_BINARY_DIR}/man/${page})
    add_custom_command(
      OUTPUT ${out} ${out}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND sh -c "\"$1\" < \"$2\" > \"$3\" && \"$4\" -9nc \"$3\" > \"$3.gz\"" sh ${SCDOC} ${src} ${out} ${GZIP}
      DEPENDS ${src}
      COMMENT "Rendering manual page ${page}"
      VERBATIM)
    list(APPEND DORV_MANPAGE_FILES ${out})
    string(REGEX REPLACE ".*\\." "" section ${page})
    # The console's page goes with the console, the agent's and its file's with the agent.
    if(page MATCHES "^dorv-console")
      set(component console)
    else()
      set(component agent)
    endif()
    install(FILES ${out}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
  endforeach()
  add_custom_target(manpages ALL DEPENDS ${DORV_MANPAGE_FILES})
else()
  message(STATUS "scdoc not found (Debian: scdoc): manual pages not built")
endif()
