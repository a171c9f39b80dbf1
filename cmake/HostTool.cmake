# The small generators that run at build time (icons, tones, font data, the
# pseudo-language) are built with the host compiler, also when the rest is
# cross-compiled:
#   voxlink_host_tool(<variable> <name> SOURCE <file> COMMENT <what it is>
#                     [INCLUDE <dir>...] [DEPENDS <file>...])
# sets <variable> to the tool's path, build/<preset>/host-tools/<name>.
find_program(VOXLINK_HOST_CXX NAMES c++ g++ clang++ REQUIRED)

function(voxlink_host_tool variable name)
  cmake_parse_arguments(TOOL "" "SOURCE;COMMENT" "INCLUDE;DEPENDS" ${ARGN})
  set(_tool ${CMAKE_BINARY_DIR}/host-tools/${name})
  list(TRANSFORM TOOL_INCLUDE PREPEND -I)
  add_custom_command(
    OUTPUT ${_tool}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host-tools
    COMMAND ${VOXLINK_HOST_CXX} -std=c++17 -O2 -Wall -Wextra -Werror ${TOOL_INCLUDE}
            ${TOOL_SOURCE} -o ${_tool}
    DEPENDS ${TOOL_SOURCE} ${TOOL_DEPENDS}
    COMMENT "Building ${TOOL_COMMENT} with the host compiler"
    VERBATIM)
  set(${variable} ${_tool} PARENT_SCOPE)
endfunction()
