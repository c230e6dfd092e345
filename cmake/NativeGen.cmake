# Wiring the generator into a build.
#
#   nativegen_header(<out-var>
#                    GENERATOR <target or path of the generator>
#                    SCRIPT_ROOT <the tree of scripts>
#                    OUTPUT_DIR <where "native.h" is written>)
#
# The generator reads the tree it stands in, so the command places it at
# the root of the script tree, runs it from OUTPUT_DIR (where "native.h"
# lands) and takes it out again. Every script is a dependency, found by a
# CONFIGURE_DEPENDS glob: the header is made again when a script changes,
# and also when one is added or removed. <out-var> receives the header's
# path; list it among a target's sources so the target waits for it.
function(nativegen_header out_var)
  cmake_parse_arguments(ARG "" "GENERATOR;SCRIPT_ROOT;OUTPUT_DIR" "" ${ARGN})
  if(TARGET ${ARG_GENERATOR})
    set(generator $<TARGET_FILE:${ARG_GENERATOR}>)
    set(placed "${ARG_SCRIPT_ROOT}/$<TARGET_FILE_NAME:${ARG_GENERATOR}>")
  else()
    set(generator ${ARG_GENERATOR})
    get_filename_component(name ${ARG_GENERATOR} NAME)
    set(placed "${ARG_SCRIPT_ROOT}/${name}")
  endif()
  file(GLOB_RECURSE scripts CONFIGURE_DEPENDS "${ARG_SCRIPT_ROOT}/*.js")
  set(header "${ARG_OUTPUT_DIR}/native.h")
  # The list of scripts, rewritten only when it changes: a script added or
  # removed makes the header stale even when every file in the tree is
  # older than it.
  set(listing "${ARG_OUTPUT_DIR}/native.h.scripts")
  string(REPLACE ";" "\n" lines "${scripts}")
  file(CONFIGURE OUTPUT ${listing} CONTENT "${lines}\n" @ONLY)
  add_custom_command(
    OUTPUT ${header}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ARG_OUTPUT_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${generator} ${placed}
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} ${placed}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${placed}
    WORKING_DIRECTORY ${ARG_OUTPUT_DIR}
    DEPENDS ${ARG_GENERATOR} ${scripts} ${listing}
    COMMENT "Embedding the scripts under ${ARG_SCRIPT_ROOT}"
    VERBATIM)
  set(${out_var} ${header} PARENT_SCOPE)
endfunction()
