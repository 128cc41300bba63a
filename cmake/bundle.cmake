# The release bundle a game developer downloads, vellora-<version>-win32.zip:
# the DLL and the command-line host exactly as this build tree made them (the
# tree the win32 tests load them from), the game script, the C header, the
# guide and the license. Built by the target vellora_bundle, not by default.
find_program(VELLORA_ZIP NAMES zip REQUIRED)

set(VELLORA_BUNDLE ${PROJECT_BINARY_DIR}/vellora-${PROJECT_VERSION}-win32.zip)
set(stage ${PROJECT_BINARY_DIR}/bundle)
set(text_files
  ${PROJECT_SOURCE_DIR}/rgss/vellora.rb
  ${PROJECT_SOURCE_DIR}/include/vellora.h
  ${PROJECT_SOURCE_DIR}/docs/bundle-README.txt
  ${PROJECT_SOURCE_DIR}/LICENSE)

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
  COMMAND ${VELLORA_ZIP} -q -X -j ${VELLORA_BUNDLE} ${stage}/vellora.dll ${stage}/vellora.exe
  COMMAND ${VELLORA_ZIP} -q -X -j -l ${VELLORA_BUNDLE} ${stage}/vellora.rb ${stage}/vellora.h
          ${stage}/README.txt ${stage}/LICENSE.txt
  DEPENDS vellora vellora_cli ${text_files}
  COMMENT "Bundling vellora-${PROJECT_VERSION}-win32.zip"
  VERBATIM)
add_custom_target(vellora_bundle DEPENDS ${VELLORA_BUNDLE})
