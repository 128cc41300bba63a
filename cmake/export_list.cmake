# The export list (src/export_list.txt): read by the build, which makes the
# linkers' export files from it, and by tests/check_export_list.cmake.

# vellora_read_export_list(FILE PREFIX) sets PREFIX_NAMES to the exported
# names in the list's order, and for each NAME PREFIX_NAME_ARGUMENTS to its
# argument letters ("" for none) and PREFIX_NAME_ENTRY to the export whose
# entry it shares ("" for its own).
function(vellora_read_export_list list_file prefix)
  file(STRINGS ${list_file} lines)
  set(names "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^#" OR line MATCHES "^[ \t]*$")
      continue()
    endif()
    if(NOT line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)[ \t]+([ip]+|-)([ \t]+=[ \t]+([A-Za-z_][A-Za-z0-9_]*))?[ \t]*$")
      message(FATAL_ERROR "${list_file}: not 'Name letters [= Name]': '${line}'")
    endif()
    set(name ${CMAKE_MATCH_1})
    set(arguments ${CMAKE_MATCH_2})
    set(entry "${CMAKE_MATCH_4}")
    if(arguments STREQUAL "-")
      set(arguments "")
    endif()
    if(name IN_LIST names)
      message(FATAL_ERROR "${list_file}: ${name} is listed twice")
    endif()
    list(APPEND names ${name})
    set(${prefix}_${name}_ARGUMENTS "${arguments}" PARENT_SCOPE)
    set(${prefix}_${name}_ENTRY "${entry}" PARENT_SCOPE)
  endforeach()
  set(${prefix}_NAMES ${names} PARENT_SCOPE)
endfunction()

# vellora_write_export_files(LIST DIRECTORY): writes DIRECTORY/exports.def,
# the DLL's exports with their stdcall argument bytes (the linker's
# --kill-at then drops the decoration), and DIRECTORY/exports.map, the
# shared library's version script. A file is rewritten only when it changes.
function(vellora_write_export_files list_file directory)
  vellora_read_export_list(${list_file} exports)
  set(def "LIBRARY vellora.dll\nEXPORTS\n")
  set(map "{\n  global:\n")
  foreach(name IN LISTS exports_NAMES)
    string(LENGTH "${exports_${name}_ARGUMENTS}" count)
    math(EXPR bytes "${count} * 4")
    string(APPEND def "  ${name}@${bytes}\n")
    string(APPEND map "    ${name};\n")
  endforeach()
  string(APPEND map "  local:\n    *;\n};\n")
  vellora_write_if_changed(${directory}/exports.def "${def}")
  vellora_write_if_changed(${directory}/exports.map "${map}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
endfunction()

# Rewriting an unchanged file would relink the library.
function(vellora_write_if_changed path content)
  set(old "")
  if(EXISTS ${path})
    file(READ ${path} old)
  endif()
  if(NOT old STREQUAL content)
    file(WRITE ${path} "${content}")
  endif()
endfunction()
