# Wiring the generator into a build: a tree of scripts as a header.
#[=======================================================================[.rst:
.. command:: nativegen_add_header

  Makes the INTERFACE library ``<target>``. Linking it gives a consumer
  the directory of its own ``native.h`` on the include path, the compile
  option that lets bytes above 127 stand in a char brace list, and a build
  dependency that makes the header before the consumer compiles.

  .. code-block:: cmake

    nativegen_add_header(<target> SCRIPT_ROOT <dir>
                         [OUTPUT_DIR <dir>] [SAFE_IDENTIFIERS] [STRICT]
                         [BUILDER <executable path or target>]
                         [GENERATOR <executable path or target>])

  Each path is taken whole: a ``;``, a space, ``[`` or ``$`` in it is part
  of it.

  ``SCRIPT_ROOT <dir>``
    The tree (required; a relative one is taken from the current source
    directory). The build front end, ``nativegen-build``, runs the
    generator's own walk from it: the header is the one the generator
    writes standing in that directory, byte for byte. Its depfile lists
    every script and directory the walk read: with Ninja, and the front
    end not run through an emulator, adding, changing, renaming or
    removing a script runs it again and nothing else does; elsewhere
    (Make, an emulator, a name no depfile can hold) it runs on every
    build. Either way a header whose content did not change keeps its
    time, so nothing that includes it compiles again.

  ``OUTPUT_DIR <dir>``
    The only folder written (never cleaned); a relative one is taken from
    the current build directory. Default: ``nativegen-headers/<target>``
    in the current build directory, so two calls never write one header.

  ``SAFE_IDENTIFIERS``
    Every identifier of the header is rewritten into a valid and unique C
    and C++ identifier (module names, bytes and lines stay as they are;
    identifiers that were valid and unique are kept), so trees whose file
    names are not identifiers compile. Look scripts up by module name.
    Default: the generator's identifiers as they are.

  ``STRICT``
    Scripts the header cannot carry whole (a name code page 936 cannot
    hold, a path of 260 bytes or more, an unreadable file) and module
    names used twice fail the build. Default: warnings.

  ``BUILDER <executable path or target>``
    The front end. Default: the one beside a ``GENERATOR`` given by path,
    else this project's (as a subproject) or the installed
    ``NativeGen::build``. The front end is a host program: a cross build
    either points at a package built for the host, or runs the target's
    through ``CMAKE_CROSSCOMPILING_EMULATOR``.

  ``GENERATOR <executable path or target>``
    Given by path: the ``nativegen-build`` beside it is the front end.
    Default: none.

.. command:: nativegen_header

  The step underneath: the custom command alone, with the header's path
  in ``<out-var>``; list it among a target's sources so the target waits
  for it. Options as for ``nativegen_add_header``; ``OUTPUT_DIR`` is
  required.

  .. code-block:: cmake

    nativegen_header(<out-var> SCRIPT_ROOT <dir> OUTPUT_DIR <dir> [...])
#]=======================================================================]

include_guard(GLOBAL)
set_property(GLOBAL PROPERTY NATIVEGEN_MODULE_DIR ${CMAKE_CURRENT_LIST_DIR})

# The file of the tool `tool` (a target or a path), what a rule that runs
# it depends on, and what runs it: nothing, or for a program built for
# another system than this host (this cross build's own, or an imported
# one from a package made for the target), the emulator.
function(_nativegen_resolve tool out_file out_depend out_runner)
  set(${out_file} ${tool} PARENT_SCOPE)
  set(${out_depend} ${tool} PARENT_SCOPE)
  set(runner "")
  if(TARGET ${tool})
    get_target_property(aliased ${tool} ALIASED_TARGET)
    if(aliased)
      set(tool ${aliased})
    endif()
    get_target_property(imported ${tool} IMPORTED)
    set(${out_file} $<TARGET_FILE:${tool}> PARENT_SCOPE)
    set(${out_depend} ${tool} PARENT_SCOPE)
    if(NOT imported)
      set(runner ${CMAKE_CROSSCOMPILING_EMULATOR})
    elseif(DEFINED NativeGen_SYSTEM AND NOT NativeGen_SYSTEM STREQUAL CMAKE_HOST_SYSTEM_NAME)
      if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
        message(FATAL_ERROR "nativegen: the NativeGen package here is built for ${NativeGen_SYSTEM}, and this "
                            "${CMAKE_HOST_SYSTEM_NAME} host cannot run its tools: point NativeGen_DIR at a package "
                            "built for ${CMAKE_HOST_SYSTEM_NAME}, or set CMAKE_CROSSCOMPILING_EMULATOR")
      endif()
      set(runner ${CMAKE_CROSSCOMPILING_EMULATOR})
    endif()
  endif()
  set(${out_runner} "${runner}" PARENT_SCOPE)
endfunction()

# The front end a call names: BUILDER as given, else the one beside a
# GENERATOR given by path, else the project's own or the installed one.
function(_nativegen_builder out_var caller builder generator)
  if(builder)
    set(${out_var} ${builder} PARENT_SCOPE)
  elseif(generator AND NOT TARGET ${generator})
    get_filename_component(dir "${generator}" DIRECTORY)
    get_filename_component(ext "${generator}" LAST_EXT)
    if(NOT EXISTS "${dir}/nativegen-build${ext}")
      message(FATAL_ERROR "${caller}: no nativegen-build${ext} beside the GENERATOR ${generator}: name it with BUILDER")
    endif()
    set(${out_var} "${dir}/nativegen-build${ext}" PARENT_SCOPE)
  elseif(TARGET NativeGen::build)
    set(${out_var} NativeGen::build PARENT_SCOPE)
  else()
    message(FATAL_ERROR "${caller}: no BUILDER given and no NativeGen::build target "
                        "(find_package(NativeGen) or add_subdirectory of the project gives it)")
  endif()
endfunction()

# The rule that runs the front end over `root` for `output` (the header,
# or a library's directory), its products `made` a byproduct of the stamp
# `<stem>.stamp`: a product whose content did not change keeps its time,
# and the build sees that. With Ninja the front end's depfile says when to
# run it again. Make cannot name every file a tree may hold (a ";" in a
# name ends its list), so with other generators it runs on every build,
# which changes nothing that did not change.
#   _nativegen_rule(<stem> <root> <output> MADE <products...> [RUNNER <emulator...>]
#                   COMMAND <front end> OPTIONS <its options...> DEPENDS <...>)
function(_nativegen_rule stem root output)
  cmake_parse_arguments(PARSE_ARGV 3 RULE "" "" "MADE;COMMAND;OPTIONS;DEPENDS;RUNNER")
  get_filename_component(folder "${stem}" DIRECTORY)
  if(folder MATCHES "[#<>]")
    # CMake takes no rule output of such a path
    message(FATAL_ERROR "nativegen: the output folder ${folder} holds a \"#\", \"<\" or \">\", which CMake "
                        "takes in no rule's output: give a build or output folder without them")
  endif()
  set(always "")
  # (a front end run through an emulator names paths as its own system
  # does, which the build cannot follow)
  if(CMAKE_GENERATOR MATCHES "Ninja" AND NOT RULE_RUNNER)
    # Ninja reads the depfile as the front end wrote it: CMake's rewriting
    # of depfiles loses escapes ("$", "#"). It must then name the stamp as
    # Ninja does: relative to the top build directory when below it.
    cmake_path(IS_PREFIX CMAKE_BINARY_DIR "${stem}.stamp" NORMALIZE inside)
    set(target "${stem}.stamp")
    if(inside)
      file(RELATIVE_PATH target "${CMAKE_BINARY_DIR}" "${stem}.stamp")
    endif()
    set(track DEPFILE "${stem}.d")
    set(depfile --depfile "${stem}.d" --depfile-target "${target}")
  else()
    set(track "")
    set(depfile "")
    set(always "${stem}.always")
    set_source_files_properties("${always}" PROPERTIES SYMBOLIC TRUE)
  endif()
  cmake_policy(PUSH)
  cmake_policy(SET CMP0116 OLD)
  add_custom_command(
    OUTPUT "${stem}.stamp" ${always}
    BYPRODUCTS ${RULE_MADE}
    COMMAND ${RULE_RUNNER} ${RULE_COMMAND} "${root}" "${output}" ${depfile} ${RULE_OPTIONS} --stamp "${stem}.stamp"
    DEPENDS ${RULE_DEPENDS}
    ${track}
    COMMENT "Embedding the scripts under ${root}"
    VERBATIM)
  cmake_policy(POP)
endfunction()

function(nativegen_header out_var)
  # (PARSE_ARGV: a path holding ";" stays one value)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "SAFE_IDENTIFIERS;STRICT" "GENERATOR;BUILDER;SCRIPT_ROOT;OUTPUT_DIR" "")
  if(DEFINED ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "nativegen_header: unknown arguments: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT DEFINED ARG_SCRIPT_ROOT OR NOT DEFINED ARG_OUTPUT_DIR)
    message(FATAL_ERROR "nativegen_header: SCRIPT_ROOT and OUTPUT_DIR are required")
  endif()
  get_filename_component(root "${ARG_SCRIPT_ROOT}" ABSOLUTE)
  get_filename_component(out "${ARG_OUTPUT_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  if(NOT IS_DIRECTORY "${root}")
    message(FATAL_ERROR "nativegen_header: SCRIPT_ROOT ${root} is not a directory")
  endif()
  _nativegen_builder(builder nativegen_header "${ARG_BUILDER}" "${ARG_GENERATOR}")
  _nativegen_resolve(${builder} builder_file builder_depend run)

  set(options "")
  if(ARG_SAFE_IDENTIFIERS)
    list(APPEND options --safe-identifiers)
  endif()
  if(ARG_STRICT)
    list(APPEND options --strict)
  endif()
  set(header "${out}/native.h")
  _nativegen_rule("${out}/native.h" "${root}" "${header}" MADE "${header}" RUNNER ${run} COMMAND ${builder_file}
                  OPTIONS ${options} DEPENDS ${builder_depend})
  set(${out_var} "${header}" PARENT_SCOPE)
endfunction()

function(nativegen_add_header target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "SAFE_IDENTIFIERS;STRICT" "GENERATOR;BUILDER;SCRIPT_ROOT;OUTPUT_DIR" "")
  if(DEFINED ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "nativegen_add_header: unknown arguments: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_OUTPUT_DIR)
    set(ARG_OUTPUT_DIR "${CMAKE_CURRENT_BINARY_DIR}/nativegen-headers/${target}")
  endif()
  set(options "")
  foreach(flag SAFE_IDENTIFIERS STRICT)
    if(ARG_${flag})
      list(APPEND options ${flag})
    endif()
  endforeach()
  foreach(tool GENERATOR BUILDER)
    if(ARG_${tool})
      string(REPLACE ";" "\\;" path "${ARG_${tool}}")
      list(APPEND options ${tool} "${path}")
    endif()
  endforeach()
  get_filename_component(out "${ARG_OUTPUT_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  if(out MATCHES ";")
    # a target's include folders are a CMake list
    message(FATAL_ERROR "nativegen_add_header: OUTPUT_DIR ${out} holds a \";\", which no target's include "
                        "folders can: give a folder without one")
  endif()
  nativegen_header(header SCRIPT_ROOT "${ARG_SCRIPT_ROOT}" OUTPUT_DIR "${ARG_OUTPUT_DIR}" ${options})

  add_custom_target(${target}_native_h DEPENDS "${out}/native.h.stamp")
  add_library(${target} INTERFACE)
  target_include_directories(${target} INTERFACE "$<BUILD_INTERFACE:${out}>")
  # bytes above 127 in a char brace list are narrowing in C++11 and later
  target_compile_options(${target} INTERFACE
    "$<$<COMPILE_LANG_AND_ID:CXX,GNU>:-Wno-narrowing>"
    "$<$<COMPILE_LANG_AND_ID:CXX,Clang,AppleClang>:-Wno-c++11-narrowing>")
  # an interface library's dependencies are followed by those that link it
  add_dependencies(${target} ${target}_native_h)
endfunction()

# <nativegen/library.h>, which a library's sources include: this project's
# target or the installed package's, or, where this file was included by
# path, the include folder beside it (the source tree's or the installed one's).
if(NOT TARGET NativeGen::library)
  foreach(folder ${CMAKE_CURRENT_LIST_DIR}/../include ${CMAKE_CURRENT_LIST_DIR}/../../../include)
    if(EXISTS ${folder}/nativegen/library.h)
      get_filename_component(folder ${folder} ABSOLUTE)
      add_library(NativeGen::library INTERFACE IMPORTED GLOBAL)
      set_target_properties(NativeGen::library PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${folder})
      break()
    endif()
  endforeach()
endif()

# A tree as an OBJECT library reached through a header of its own.
include(${CMAKE_CURRENT_LIST_DIR}/NativeGenLibrary.cmake)
