# The release bundle a game developer downloads, vellora-<version>-win32.zip:
# the DLL and the command-line host exactly as this build tree made them (the
# tree the win32 tests load them from; their debug information stays beside
# them in the tree), the game script, the C header, the guide, the license and
# the licenses of the libraries linked in. Built by the target
# vellora_bundle, not by default.
find_program(VELLORA_ZIP NAMES zip REQUIRED)

set(VELLORA_BUNDLE ${PROJECT_BINARY_DIR}/vellora-${PROJECT_VERSION}-win32.zip)
set(stage ${PROJECT_BINARY_DIR}/bundle)
set(text_files
  ${PROJECT_SOURCE_DIR}/rgss/vellora.rb
  ${PROJECT_SOURCE_DIR}/include/vellora.h
  ${PROJECT_SOURCE_DIR}/docs/bundle-README.txt
  ${PROJECT_SOURCE_DIR}/LICENSE)

# The libraries' sources, as set-up downloaded them.
get_filename_component(vellora_source_cache ${VELLORA_DEPS_PREFIX}/../cache ABSOLUTE)
foreach(library IN ITEMS libpng1.6 zlib)
  file(GLOB tarballs ${vellora_source_cache}/${library}_*.orig.tar.*)
  list(SORT tarballs)
  set(vellora_${library}_source "")
  if(tarballs)
    list(GET tarballs -1 vellora_${library}_source)
  endif()
endforeach()

# zip would add to an existing archive: each build starts from nothing. Text
# files get Windows line ends (zip -l), for the editors a game developer has.
add_custom_command(OUTPUT ${VELLORA_BUNDLE}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage} ${VELLORA_BUNDLE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:vellora> $<TARGET_FILE:vellora_cli> ${stage}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/rgss/vellora.rb
          ${PROJECT_SOURCE_DIR}/include/vellora.h ${stage}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/bundle-README.txt ${stage}/README.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${stage}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -DLIBPNG_SOURCE=${vellora_libpng1.6_source} -DZLIB_SOURCE=${vellora_zlib_source}
          -DOUTPUT=${stage}/THIRD-PARTY-NOTICES.txt -P ${PROJECT_SOURCE_DIR}/cmake/third_party_notices.cmake
  COMMAND ${VELLORA_ZIP} -q -X -j ${VELLORA_BUNDLE} ${stage}/vellora.dll ${stage}/vellora.exe
  COMMAND ${VELLORA_ZIP} -q -X -j -l ${VELLORA_BUNDLE} ${stage}/vellora.rb ${stage}/vellora.h
          ${stage}/README.txt ${stage}/LICENSE.txt ${stage}/THIRD-PARTY-NOTICES.txt
  DEPENDS vellora vellora_cli ${text_files} ${PROJECT_SOURCE_DIR}/cmake/third_party_notices.cmake
          ${vellora_libpng1.6_source} ${vellora_zlib_source}
  COMMENT "Bundling vellora-${PROJECT_VERSION}-win32.zip"
  VERBATIM)
add_custom_target(vellora_bundle DEPENDS ${VELLORA_BUNDLE})
