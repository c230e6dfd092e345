# Wiring the generator into a build.
#
#   nativegen_add_header(<target> SCRIPT_ROOT <dir>
#                        [OUTPUT_DIR <dir>] [SAFE_IDENTIFIERS]
#                        [GENERATOR <executable path or target>])
#
# makes the INTERFACE library <target>. Linking it gives a consumer the
# directory of its own "native.h" on the include path, the compile option
# that lets bytes above 127 stand in a char brace list, and a build
# dependency that makes the header before the consumer compiles. The
# header is made again when any script the generator takes (every "*.js",
# matched without regard to case) changes, is added or is removed, and
# only then. OUTPUT_DIR defaults to a directory of the target's own, so two
# calls never write one header. GENERATOR defaults to this project's
# generator, or the installed NativeGen::nativegen.
#
# SAFE_IDENTIFIERS rewrites every identifier of the header into a valid and
# unique C and C++ identifier (module names, bytes and lines stay as they
# are; identifiers that were valid and unique are kept), so trees whose
# file names are not identifiers compile. Look scripts up by module name.
#
# The generator reads the tree it stands in. It never stands in the script
# tree: it runs over a mirror of the scripts in the build tree (hard links
# where the file system allows, copies otherwise), kept in step with the
# tree, so a read-only tree works and two build trees never meet.
#
#   nativegen_header(<out-var> SCRIPT_ROOT <dir> OUTPUT_DIR <dir>
#                    [SAFE_IDENTIFIERS] [GENERATOR <executable or target>])
#
# is the step underneath: the custom command alone, with the header's path
# in <out-var>; list it among a target's sources so the target waits for it.

include_guard(GLOBAL)
set_property(GLOBAL PROPERTY NATIVEGEN_MODULE_DIR ${CMAKE_CURRENT_LIST_DIR})

# The file of the tool `tool` (a target or a path), what a rule that runs
# it depends on, and what runs it: nothing, or for a program this cross
# build makes, the emulator.
function(_nativegen_resolve tool out_file out_depend out_runner)
  set(${out_file} ${tool} PARENT_SCOPE)
  set(${out_depend} ${tool} PARENT_SCOPE)
  set(${out_runner} "" PARENT_SCOPE)
  if(TARGET ${tool})
    get_target_property(aliased ${tool} ALIASED_TARGET)
    if(aliased)
      set(tool ${aliased})
    endif()
    get_target_property(imported ${tool} IMPORTED)
    set(${out_file} $<TARGET_FILE:${tool}> PARENT_SCOPE)
    set(${out_depend} ${tool} PARENT_SCOPE)
    if(NOT imported)
      set(${out_runner} ${CMAKE_CROSSCOMPILING_EMULATOR} PARENT_SCOPE)
    endif()
  endif()
endfunction()

function(nativegen_header out_var)
  cmake_parse_arguments(ARG "SAFE_IDENTIFIERS" "GENERATOR;SCRIPT_ROOT;OUTPUT_DIR" "" ${ARGN})
  if(NOT ARG_SCRIPT_ROOT OR NOT ARG_OUTPUT_DIR)
    message(FATAL_ERROR "nativegen_header: SCRIPT_ROOT and OUTPUT_DIR are required")
  endif()
  if(NOT ARG_GENERATOR)
    if(TARGET NativeGen::nativegen)
      set(ARG_GENERATOR NativeGen::nativegen)
    else()
      message(FATAL_ERROR "nativegen_header: no GENERATOR given and no NativeGen::nativegen target")
    endif()
  endif()
  get_filename_component(root "${ARG_SCRIPT_ROOT}" ABSOLUTE)
  get_filename_component(out "${ARG_OUTPUT_DIR}" ABSOLUTE)
  if(NOT IS_DIRECTORY "${root}")
    message(FATAL_ERROR "nativegen_header: SCRIPT_ROOT ${root} is not a directory")
  endif()
  _nativegen_resolve(${ARG_GENERATOR} generator generator_depend run)
  get_property(module_dir GLOBAL PROPERTY NATIVEGEN_MODULE_DIR)

  # Every script the generator takes: "*.js" without regard to case, as
  # the generator matches it. The list is rewritten only when it changes,
  # so adding or removing a script remakes the header even when every
  # file is older than it.
  file(GLOB_RECURSE scripts CONFIGURE_DEPENDS RELATIVE "${root}" "${root}/*.[jJ][sS]")
  list(SORT scripts)
  file(MAKE_DIRECTORY "${out}")
  set(listing "${out}/native.h.scripts")
  string(REPLACE ";" "\n" lines "${scripts}")
  file(CONFIGURE OUTPUT "${listing}" CONTENT "${lines}\n" @ONLY)
  list(TRANSFORM scripts PREPEND "${root}/" OUTPUT_VARIABLE script_files)

  set(header "${out}/native.h")
  set(stage "${out}/stage")
  set(generated "${out}")
  set(rewrite "")
  set(fresh "")
  set(identifiers_depend "")
  if(ARG_SAFE_IDENTIFIERS)
    if(TARGET NativeGen::identifiers)
      set(identifiers NativeGen::identifiers)
    else()
      message(FATAL_ERROR "nativegen_header: SAFE_IDENTIFIERS needs the NativeGen::identifiers tool "
                          "(find_package(NativeGen) or add_subdirectory of the project gives it)")
    endif()
    _nativegen_resolve(${identifiers} identifiers_file identifiers_depend run_identifiers)
    set(generated "${out}/generated")
    # a header that needs no change is linked, not copied: the generator's
    # own header is removed first, so it is made anew and never written
    # through that link
    set(fresh COMMAND ${CMAKE_COMMAND} -E rm -f "${generated}/native.h")
    set(rewrite COMMAND ${run_identifiers} ${identifiers_file} --link "${generated}/native.h" "${header}")
  endif()

  add_custom_command(
    OUTPUT "${header}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${generated}"
    ${fresh}
    COMMAND ${CMAKE_COMMAND} "-DSCRIPT_ROOT=${root}" "-DLISTING=${listing}" "-DSTAGE=${stage}"
            "-DGENERATOR=${generator}" -P "${module_dir}/NativeGenStage.cmake"
    COMMAND ${CMAKE_COMMAND} -E chdir "${generated}" ${run} "${stage}/$<PATH:GET_FILENAME,${generator}>"
    ${rewrite}
    WORKING_DIRECTORY "${out}"
    DEPENDS ${generator_depend} ${identifiers_depend} ${script_files} "${listing}" "${module_dir}/NativeGenStage.cmake"
    COMMENT "Embedding the scripts under ${root}"
    VERBATIM)
  set(${out_var} "${header}" PARENT_SCOPE)
endfunction()

function(nativegen_add_header target)
  cmake_parse_arguments(ARG "SAFE_IDENTIFIERS" "GENERATOR;SCRIPT_ROOT;OUTPUT_DIR" "" ${ARGN})
  if(NOT ARG_OUTPUT_DIR)
    set(ARG_OUTPUT_DIR "${CMAKE_CURRENT_BINARY_DIR}/nativegen-headers/${target}")
  endif()
  set(options "")
  if(ARG_SAFE_IDENTIFIERS)
    set(options SAFE_IDENTIFIERS)
  endif()
  if(ARG_GENERATOR)
    list(APPEND options GENERATOR ${ARG_GENERATOR})
  endif()
  nativegen_header(header SCRIPT_ROOT "${ARG_SCRIPT_ROOT}" OUTPUT_DIR "${ARG_OUTPUT_DIR}" ${options})
  get_filename_component(out "${ARG_OUTPUT_DIR}" ABSOLUTE)

  add_custom_target(${target}_native_h DEPENDS "${header}")
  add_library(${target} INTERFACE)
  target_include_directories(${target} INTERFACE "$<BUILD_INTERFACE:${out}>")
  # bytes above 127 in a char brace list are narrowing in C++11 and later
  target_compile_options(${target} INTERFACE
    "$<$<COMPILE_LANG_AND_ID:CXX,GNU>:-Wno-narrowing>"
    "$<$<COMPILE_LANG_AND_ID:CXX,Clang,AppleClang>:-Wno-c++11-narrowing>")
  # an interface library's dependencies are followed by those that link it
  add_dependencies(${target} ${target}_native_h)
endfunction()

# A tree as a static library reached through a header of its own.
include(${CMAKE_CURRENT_LIST_DIR}/NativeGenLibrary.cmake)
