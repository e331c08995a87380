# Manual pages from scdoc sources (Debian: scdoc), installed compressed as
# Debian wants them (gzip -9n: no name or time stamp, so builds repeat).
#   bsv2_add_manpage(NAME.SECTION.scd [COMPONENT component])
option(BSV2_BUILD_MANPAGES "Build and install the manual pages (needs scdoc)" ON)
option(BSV2_REQUIRE_MANPAGES "Fail when scdoc is missing instead of leaving the manual pages out" OFF)
find_program(BSV2_SCDOC scdoc)
find_program(BSV2_GZIP gzip)
if(BSV2_BUILD_MANPAGES AND NOT (BSV2_SCDOC AND BSV2_GZIP))
  if(BSV2_REQUIRE_MANPAGES)
    message(FATAL_ERROR "scdoc or gzip not found: install scdoc")
  endif()
  message(STATUS "scdoc not found: the manual pages are left out (install scdoc)")
endif()

function(bsv2_add_manpage source)
  cmake_parse_arguments(PAGE "" "COMPONENT" "" ${ARGN})
  if(NOT (BSV2_BUILD_MANPAGES AND BSV2_SCDOC AND BSV2_GZIP))
    return()
  endif()
  get_filename_component(page ${source} NAME_WLE)  # NAME.SECTION
  string(REGEX REPLACE "^.*\\." "" section ${page})
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${BSV2_SCDOC} < ${CMAKE_CURRENT_SOURCE_DIR}/${source} > ${CMAKE_CURRENT_BINARY_DIR}/${page}
    COMMAND ${BSV2_GZIP} -9n -f ${CMAKE_CURRENT_BINARY_DIR}/${page}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${source}
    COMMENT "Manual page ${page}")
  add_custom_target(manpage-${page} ALL DEPENDS ${compressed})
  if(PAGE_COMPONENT)
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${PAGE_COMPONENT})
  else()
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  endif()
  set_property(GLOBAL APPEND PROPERTY BSV2_MANPAGES ${compressed})
endfunction()
