# What ships carries no debug information and no path of the machine that
# built it.

# __FILE__ and the like name files relative to the source and build trees.
add_compile_options(-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=
                    -fmacro-prefix-map=${PROJECT_BINARY_DIR}/=)

# vellora_split_debug_info(TARGET): each time TARGET is linked, its debug
# information moves into TARGET_FILE.debug beside it, and the file itself
# keeps none (nor a symbol table), only a .gnu_debuglink naming the .debug
# file, where a debugger finds it. Done as part of the link, so that the
# file the tests load is the file that ships.
function(vellora_split_debug_info target)
  if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "no objcopy for this toolchain")
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug
            $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
