# Version resources for the Windows binaries: file and product version from
# the project's version (itself from include/vellora.h), the copyright line
# from LICENSE.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE VELLORA_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
if(NOT VELLORA_COPYRIGHT)
  message(FATAL_ERROR "LICENSE: no 'Copyright ...' line")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)

# vellora_version_resource(TARGET DESCRIPTION): links a version resource into
# TARGET, an executable or a shared library. The resource is compiled on its
# own, so that the target's compiler options never reach windres.
function(vellora_version_resource target description)
  get_target_property(type ${target} TYPE)
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  if(type STREQUAL "SHARED_LIBRARY")
    set(VELLORA_RC_FILE_TYPE VFT_DLL)
    set(VELLORA_RC_FILE_NAME ${output_name}.dll)
  else()
    set(VELLORA_RC_FILE_TYPE VFT_APP)
    set(VELLORA_RC_FILE_NAME ${output_name}.exe)
  endif()
  set(VELLORA_RC_DESCRIPTION "${description}")
  set(VELLORA_RC_INTERNAL_NAME ${output_name})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  add_library(${target}_version OBJECT ${rc})
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:${target}_version>)
endfunction()
