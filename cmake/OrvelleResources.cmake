# Resources compiled into the program. orvelle_resources() turns files into
# generated C++ units whose static registrars hand the bytes to the
# run-time's resource registry (platform/rtl/rtlResources.h):
#
#   orvelle_resources(<target> TYPE <type> FILES <file>... [NAMES <name>...])
#
# Each file becomes a resource of the given type, named after the file
# without its extension unless NAMES gives the names in the same order.
# The registrars sit in a library linked whole, so that no linker drops
# them for being unreferenced. Run with -P, this file embeds one file.

if(CMAKE_SCRIPT_MODE_FILE)
  file(READ "${INPUT}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n  " bytes "${bytes}")
  if(size EQUAL 0)
    set(bytes "0")
  endif()
  file(WRITE "${OUTPUT}.tmp"
    "// Generated from ${INPUT}; do not edit.\n"
    "#include \"rtlResources.h\"\n\n"
    "namespace {\n\n"
    "const unsigned char bytes[] = {\n  ${bytes}\n};\n\n"
    "const TResourceRegistrar registrar(\"${TYPE}\", \"${NAME}\", bytes, ${size});\n\n"
    "}  // namespace\n")
  file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUTPUT}.tmp")
  return()
endif()

# Set in every including folder: the function reads it where it is called.
set(ORVELLE_RESOURCES_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")
include_guard(GLOBAL)

function(orvelle_resources target)
  cmake_parse_arguments(ARG "" "TYPE" "FILES;NAMES" ${ARGN})
  if(NOT ARG_TYPE OR NOT ARG_FILES)
    message(FATAL_ERROR "orvelle_resources(${target}) needs TYPE and FILES")
  endif()
  if(ARG_NAMES)
    list(LENGTH ARG_FILES file_count)
    list(LENGTH ARG_NAMES name_count)
    if(NOT file_count EQUAL name_count)
      message(FATAL_ERROR "orvelle_resources(${target}): NAMES must name every file")
    endif()
  endif()

  set(library ${target}_resources)
  if(NOT TARGET ${library})
    add_library(${library} STATIC)
    target_link_libraries(${library} PRIVATE platform_rtl)
    target_link_libraries(${target} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${library}>")
  endif()

  set(index 0)
  foreach(file IN LISTS ARG_FILES)
    get_filename_component(input "${file}" ABSOLUTE)
    if(ARG_NAMES)
      list(GET ARG_NAMES ${index} name)
    else()
      get_filename_component(name "${file}" NAME_WE)
    endif()
    set(output "${CMAKE_CURRENT_BINARY_DIR}/${library}/${ARG_TYPE}_${name}.cpp")
    add_custom_command(
      OUTPUT "${output}"
      COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DTYPE=${ARG_TYPE} -DNAME=${name}
              -P "${ORVELLE_RESOURCES_SCRIPT}"
      DEPENDS "${input}" "${ORVELLE_RESOURCES_SCRIPT}"
      COMMENT "Embedding ${ARG_TYPE} resource ${name}"
      VERBATIM)
    target_sources(${library} PRIVATE "${output}")
    math(EXPR index "${index} + 1")
  endforeach()
endfunction()
