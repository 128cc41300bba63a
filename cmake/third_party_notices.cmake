# Writes the bundle's THIRD-PARTY-NOTICES.txt: the licenses of libpng and
# zlib, which are linked into vellora.dll and vellora.exe, taken from their
# Debian source tarballs (set-up keeps them in .deps/cache).
#   cmake -DLIBPNG_SOURCE=TARBALL -DZLIB_SOURCE=TARBALL -DOUTPUT=FILE -P third_party_notices.cmake
foreach(library IN ITEMS LIBPNG ZLIB)
  if(NOT EXISTS "${${library}_SOURCE}")
    message(FATAL_ERROR "no ${library} source tarball in .deps/cache ('${${library}_SOURCE}'): run scripts/setup.sh")
  endif()
endforeach()

# notice(TARBALL TITLE VARIABLE): appends to VARIABLE the tarball's top-level
# LICENSE under a heading naming TITLE and the version in the tarball's name
# (libpng1.6_1.6.39.orig.tar.gz: 1.6.39).
function(notice tarball title variable)
  get_filename_component(name ${tarball} NAME)
  if(NOT name MATCHES "_([0-9.]*[0-9])[^_]*\\.orig\\.tar")
    message(FATAL_ERROR "no version in ${name}")
  endif()
  set(heading "${title} ${CMAKE_MATCH_1}")
  get_filename_component(directory ${OUTPUT} DIRECTORY)
  set(scratch ${directory}/notices-${title})
  file(REMOVE_RECURSE ${scratch})
  file(ARCHIVE_EXTRACT INPUT ${tarball} DESTINATION ${scratch} PATTERNS "*LICENSE")
  file(GLOB license ${scratch}/*/LICENSE)
  list(LENGTH license found)
  if(NOT found EQUAL 1)
    message(FATAL_ERROR "${name}: expected one top-level LICENSE, found '${license}'")
  endif()
  file(READ ${license} text)
  file(REMOVE_RECURSE ${scratch})
  string(REGEX REPLACE "." "-" rule "${heading}")
  set(${variable} "${${variable}}\n\n${heading}\n${rule}\n\n${text}" PARENT_SCOPE)
endfunction()

set(notices "Third-party notices\n===================\n\nvellora.dll and vellora.exe contain libpng, which encodes the PNG files,\nand zlib, which compresses them, both linked in. Their licenses follow.")
notice(${LIBPNG_SOURCE} libpng notices)
notice(${ZLIB_SOURCE} zlib notices)
file(WRITE ${OUTPUT} "${notices}")
