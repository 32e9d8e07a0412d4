# Reads src/sources.json, the one list of the library's sources and flags.
file(READ ${CMAKE_CURRENT_LIST_DIR}/../src/sources.json QUILLET_MANIFEST)

# The JSON array of strings at the path `...` as a CMake list in `out`.
function(quillet_manifest_list out)
  string(JSON count LENGTH "${QUILLET_MANIFEST}" ${ARGN})
  set(items "")
  if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
      string(JSON item GET "${QUILLET_MANIFEST}" ${ARGN} ${i})
      list(APPEND items "${item}")
    endforeach()
  endif()
  set(${out} "${items}" PARENT_SCOPE)
endfunction()

# The CPU-specific sources of `cpu` ("x86"): adds each to `target` with its
# flags, or none of those needing the SHA extensions when `sha` is off.
function(quillet_manifest_cpu_sources target cpu sha)
  string(JSON count LENGTH "${QUILLET_MANIFEST}" ${cpu})
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    string(JSON source GET "${QUILLET_MANIFEST}" ${cpu} ${i} source)
    string(JSON needs_sha ERROR_VARIABLE missing GET "${QUILLET_MANIFEST}" ${cpu} ${i}
      sha_extensions)
    if(missing STREQUAL "NOTFOUND" AND needs_sha AND NOT sha)
      continue()
    endif()
    quillet_manifest_list(flags ${cpu} ${i} flags)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(JSON unused ERROR_VARIABLE missing GET "${QUILLET_MANIFEST}" ${cpu} ${i} flags_32_bit)
      if(missing STREQUAL "NOTFOUND")
        quillet_manifest_list(flags32 ${cpu} ${i} flags_32_bit)
        list(APPEND flags ${flags32})
      endif()
    endif()
    target_sources(${target} PRIVATE ${source})
    if(flags)
      set_source_files_properties(${source} PROPERTIES COMPILE_OPTIONS "${flags}")
    endif()
  endforeach()
endfunction()

# A change to the list configures the build again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/../src/sources.json)
