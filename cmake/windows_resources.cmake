# One version for the whole release: VERSION at the top of the tree gives
# MAJOR.MINOR.PATCH; a release build may ask for another with -DVELTA_VERSION.
if(NOT VELTA_VERSION)
  file(STRINGS ${PROJECT_SOURCE_DIR}/VERSION VELTA_VERSION LIMIT_COUNT 1)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/VERSION)
endif()
if(NOT VELTA_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "VELTA_VERSION must be MAJOR.MINOR.PATCH, not '${VELTA_VERSION}'")
endif()
set(VELTA_VERSION_MAJOR ${CMAKE_MATCH_1})
set(VELTA_VERSION_MINOR ${CMAKE_MATCH_2})
set(VELTA_VERSION_PATCH ${CMAKE_MATCH_3})
foreach(part ${VELTA_VERSION_MAJOR} ${VELTA_VERSION_MINOR} ${VELTA_VERSION_PATCH})
  # The installer compares versions with these limits.
  if(part GREATER 65535)
    message(FATAL_ERROR "VELTA_VERSION ${VELTA_VERSION}: each part must be at most 65535")
  endif()
endforeach()

# The version the installer's upgrade test installs over this one: the next
# minor version, as scripts/test builds it with scripts/release.
math(EXPR velta_next_minor "${VELTA_VERSION_MINOR} + 1")
set(VELTA_UPGRADE_VERSION ${VELTA_VERSION_MAJOR}.${velta_next_minor}.0)

# Gives a Windows program its version resource and its application
# manifest (MANIFEST_IN, a template that takes the version).
function(velta_windows_resources target description manifest_in)
  set(VELTA_RC_NAME ${target})
  set(VELTA_RC_FILE ${target}.exe)
  set(VELTA_RC_DESCRIPTION "${description}")
  set(out ${CMAKE_CURRENT_BINARY_DIR}/resources/${target})
  set(VELTA_RC_MANIFEST ${out}/${target}.manifest)
  configure_file(${manifest_in} ${VELTA_RC_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/version_info.rc.in ${out}/version_info.rc @ONLY)
  target_sources(${target} PRIVATE ${out}/version_info.rc)
  set_source_files_properties(${out}/version_info.rc PROPERTIES OBJECT_DEPENDS ${VELTA_RC_MANIFEST})
endfunction()
