# A tree of scripts as an OBJECT library reached through a header of its own.
#[=======================================================================[.rst:
.. command:: nativegen_add_library

  Makes the OBJECT library ``<target>`` holding every script the generator
  takes from a tree (or, with ``FILES``, the files the globs pick), and
  the header ``<target>.h`` through which a consumer reaches them by name.

  .. code-block:: cmake

    nativegen_add_library(<target> SCRIPT_ROOT <dir>
                          [FILES <glob>... [EXCLUDE <glob>...]]
                          [READ_FROM_SOURCE]
                          [NAMESPACE <ns>] [STRICT] [COMPRESS [<level>]]
                          [OUTPUT_DIR <dir>] [DATA incbin|msvc]
                          [BUILDER <executable path or target>])

  .. code-block:: c++

    #include "<target>.h"
    const <ns>::entry* app = <ns>::find("app");      // null when none
    for (const <ns>::entry& e : <ns>::all()) ...      // in the tree's order

  Each path and glob is taken whole: a ``;``, a space, ``[`` or ``$`` in it
  is part of it. No file name of the tree passes through CMake.

  ``SCRIPT_ROOT <dir>``
    The tree (required; a relative one is taken from the current source
    directory). The front end (``nativegen-build``) walks it as the
    generator does, when the build runs: with Ninja, and the front end not
    run through an emulator, when its depfile says a script or folder
    changed; otherwise on every build. A file it writes changes only when
    its content does: a change to the tree rebuilds this library's table
    (and data), never a consumer.

  ``FILES <glob>...``
    The library is a package: every regular file below the root whose
    path (relative to it, ``/`` between parts) a glob matches, by that
    path in UTF-8; ``<ns>::list(folder)`` gives what a folder holds
    (docs/package-library.md). ``*`` and ``?`` stay within a folder, ``**``
    crosses folders, a glob without ``/`` matches a file's own name at any
    depth; ASCII case is ignored. A glob that takes no file fails the
    build and is named. The build tree and the output folder, when they
    lie below the root, are never walked. Default: the scripts.

  ``EXCLUDE <glob>...``
    With ``FILES``: the paths left out, globs as for ``FILES``. Default:
    none.

  ``READ_FROM_SOURCE``
    With ``FILES``: the table names the root (its absolute path, UTF-8)
    as the folder the library is read from, and a ``nativegen::tree``
    mounts the library as that folder on disk, so an edit there shows
    without a build; the library still holds every file. The cache
    variable ``NATIVEGEN_READ_FROM_SOURCE`` (default ``OFF``) turns it on
    for every library with ``FILES``. Default: read from the library.

  ``NAMESPACE <ns>``
    The header's namespace: C++ identifiers joined by ``::``, as the front
    end takes them (its ``--check-names``). Default: ``<target>``.

  ``STRICT``
    The front end's warnings (a script it could not embed, two scripts of
    one module name, a ``package.json`` that is not valid JSON) are errors
    that fail the build. Default: warnings.

  ``COMPRESS [<level>]``
    Each file is stored as a zstd frame of its own where that saves a
    tenth, as it is otherwise; ``<ns>::read()`` gives any entry's bytes,
    and ``e.data`` is null for a compressed one (docs/compression.md).
    ``<level>`` is what the front end's ``--compress=LEVEL`` takes (1 to
    zstd's highest, 22); without one, the front end's own default (its
    ``--compress`` alone). The
    library links zstd for its consumers: the zstd CMake package or
    pkg-config's libzstd, and without either the configure stops.
    Default: stored as they are.

  ``OUTPUT_DIR <dir>``
    Where the library's sources are written; a relative one is taken from
    the current build directory. Default:
    ``nativegen-libraries/<target>`` in the current build directory.

  ``DATA incbin|msvc``
    How the bytes reach the object file: ``incbin`` (the assembler reads
    the blob; GCC, Clang, MinGW) or ``msvc`` (C string literals within
    that compiler's limits; needs C enabled). Default: ``msvc`` for MSVC
    and clang-cl, ``incbin`` for every other compiler.

  ``BUILDER <executable path or target>``
    The front end, as for ``nativegen_add_header``. Default: this
    project's (as a subproject) or the installed ``NativeGen::build``.

  The scripts' bytes together may not pass what links for the target
  (docs/limits.md): the build stops before anything compiles, naming
  both. Where the front end is an already-built program (an installed or
  prebuilt one, run without an emulator), CMake asks it when it
  configures whether it takes the name, the namespace, the level and the
  target; otherwise the front end's first run in the build refuses them.
#]=======================================================================]

include_guard(GLOBAL)

option(NATIVEGEN_READ_FROM_SOURCE "Every package library (FILES) is read from its root folder" OFF)

# Sets <var> to the target that links zstd (the `zstd` CMake package, or
# `pkg-config libzstd`), for `who`; stops the configure, saying what to
# install, when neither is there. A cross build looks in its own root
# alone, never at the host's.
function(_nativegen_zstd var who)
  if(NOT TARGET zstd::libzstd_shared AND NOT TARGET zstd::libzstd_static AND NOT TARGET PkgConfig::nativegen_zstd)
    if(CMAKE_CROSSCOMPILING)
      find_package(zstd CONFIG QUIET ONLY_CMAKE_FIND_ROOT_PATH)
    else()
      find_package(zstd CONFIG QUIET)
    endif()
    if(NOT zstd_FOUND)
      find_package(PkgConfig QUIET)
      if(PKG_CONFIG_FOUND)
        pkg_check_modules(nativegen_zstd QUIET IMPORTED_TARGET GLOBAL libzstd)
      endif()
    endif()
  endif()
  if(TARGET zstd::libzstd_shared AND NOT MINGW)
    set(${var} zstd::libzstd_shared PARENT_SCOPE)
  elseif(TARGET zstd::libzstd_static)
    set(${var} zstd::libzstd_static PARENT_SCOPE)
  elseif(TARGET zstd::libzstd_shared)
    set(${var} zstd::libzstd_shared PARENT_SCOPE)
  elseif(TARGET PkgConfig::nativegen_zstd)
    set(${var} PkgConfig::nativegen_zstd PARENT_SCOPE)
  else()
    message(FATAL_ERROR "${who} needs zstd, and neither the zstd CMake package nor pkg-config's libzstd "
                        "was found: install it (Debian and Ubuntu: apt-get install libzstd-dev; for the "
                        "MinGW cross build: .ci/zstd-mingw), or point CMAKE_PREFIX_PATH at it")
  endif()
endfunction()

# The front end's own rules for a library's name and namespace, its
# compression level and its target, asked of it now where it can run
# already (an installed or prebuilt one run without an emulator);
# otherwise its first run in the build refuses them. The arguments past
# `runner` are the front end's own options (--compress[=LEVEL], --target T).
function(_nativegen_check_names target nameSpace builder runner)
  set(program "")
  if(TARGET ${builder})
    get_target_property(imported ${builder} IMPORTED)
    if(imported AND NOT runner)
      get_target_property(program ${builder} LOCATION)
    endif()
  elseif(NOT runner)
    set(program ${builder})
  endif()
  if(NOT program OR NOT EXISTS "${program}")
    return()
  endif()
  execute_process(COMMAND "${program}" --check-names --library ${target} --namespace ${nameSpace} ${ARGN}
                  RESULT_VARIABLE refused ERROR_VARIABLE why OUTPUT_QUIET)
  if(refused)
    # the reason: its first line (a refused option is followed by the usage)
    string(REGEX REPLACE "\n.*" "" why "${why}")
    string(REGEX REPLACE "^nativegen-build(\\.exe)?: " "" why "${why}")
    message(FATAL_ERROR "nativegen_add_library: ${target}: ${why}")
  endif()
endfunction()

# What the consumer's compiler cannot take, asked of that compiler once
# (the answer is cached): "<target>.h" must not hide a header its include
# folders hold, and the namespace must compile beside the standard and
# system headers a consumer includes.
function(_nativegen_check_consumer target nameSpace)
  string(MD5 key "${CMAKE_CXX_COMPILER};${CMAKE_CXX_COMPILER_VERSION};${target};${nameSpace}")
  if(DEFINED CACHE{_NATIVEGEN_CONSUMER_${key}})
    set(answer "${_NATIVEGEN_CONSUMER_${key}}")
  else()
    # what declares names at global scope: the C library's headers and the
    # system's (the C++ library's own names stay in std)
    set(headers cassert cctype cerrno cfloat climits clocale cmath csetjmp csignal cstdarg cstddef cstdint cstdio
        cstdlib cstring ctime cwchar cwctype unistd.h fcntl.h sys/types.h sys/stat.h dirent.h pthread.h dlfcn.h
        io.h process.h direct.h)
    set(source "#if __has_include(<${target}.h>)\n#error nativegen: hides a header\n#endif\n")
    foreach(header IN LISTS headers)
      string(APPEND source "#if __has_include(<${header}>)\n#include <${header}>\n#endif\n")
    endforeach()
    string(APPEND source "namespace ${nameSpace} { struct entry { const char* name; }; }\nint main() { return 0; }\n")
    try_compile(fits SOURCE_FROM_CONTENT nativegen_consumer.cpp "${source}"
                CXX_STANDARD 17 CXX_STANDARD_REQUIRED ON OUTPUT_VARIABLE out)
    if(fits)
      set(answer "")
    elseif(out MATCHES "nativegen: hides a header")
      set(answer "${target}.h would hide the header <${target}.h> this compiler finds in its include folders, from everything that links ${target}: give the library another name")
    else()
      set(answer "the namespace ${nameSpace} does not compile beside the standard and system headers: give a NAMESPACE that does")
    endif()
    set(_NATIVEGEN_CONSUMER_${key} "${answer}" CACHE INTERNAL "")
  endif()
  if(answer)
    message(FATAL_ERROR "nativegen_add_library: ${answer}")
  endif()
endfunction()

function(nativegen_add_library target)
  # (PARSE_ARGV: a path or glob holding ";" stays one value)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "STRICT;READ_FROM_SOURCE" "SCRIPT_ROOT;NAMESPACE;OUTPUT_DIR;DATA;BUILDER"
                        "FILES;EXCLUDE;COMPRESS")
  if(DEFINED ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "nativegen_add_library: unknown arguments: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT DEFINED ARG_SCRIPT_ROOT)
    message(FATAL_ERROR "nativegen_add_library: SCRIPT_ROOT is required")
  endif()
  if(("FILES" IN_LIST ARG_KEYWORDS_MISSING_VALUES) OR (DEFINED ARG_EXCLUDE AND NOT DEFINED ARG_FILES)
     OR ("EXCLUDE" IN_LIST ARG_KEYWORDS_MISSING_VALUES))
    message(FATAL_ERROR "nativegen_add_library: FILES needs at least one glob, and EXCLUDE goes with FILES")
  endif()
  # a script library's names are module names, which no folder on disk holds
  if(ARG_READ_FROM_SOURCE AND NOT DEFINED ARG_FILES)
    message(FATAL_ERROR "nativegen_add_library: READ_FROM_SOURCE goes with FILES")
  endif()
  # COMPRESS alone: the front end's own default level, never a copy of it
  # here; a level is the front end's to take or refuse
  set(compress "")
  if("COMPRESS" IN_LIST ARG_KEYWORDS_MISSING_VALUES)
    set(compress --compress)
  elseif(DEFINED ARG_COMPRESS)
    list(LENGTH ARG_COMPRESS count)
    if(NOT count EQUAL 1)
      message(FATAL_ERROR "nativegen_add_library: COMPRESS takes one level, not \"${ARG_COMPRESS}\"")
    endif()
    set(compress --compress=${ARG_COMPRESS})
  endif()
  get_filename_component(root "${ARG_SCRIPT_ROOT}" ABSOLUTE)
  if(NOT IS_DIRECTORY "${root}")
    message(FATAL_ERROR "nativegen_add_library: SCRIPT_ROOT ${root} is not a directory")
  endif()

  # (NAMESPACE "" parses as no NAMESPACE at all: asked of the arguments)
  set(empty FALSE)
  math(EXPR last "${ARGC} - 2")
  foreach(i RANGE 1 ${last})
    math(EXPR next "${i} + 1")
    if("${ARGV${i}}" STREQUAL "NAMESPACE" AND "${ARGV${next}}" STREQUAL "")
      set(empty TRUE)
    endif()
  endforeach()
  if(empty OR "NAMESPACE" IN_LIST ARG_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "nativegen_add_library: NAMESPACE needs a value")
  elseif(NOT DEFINED ARG_NAMESPACE)
    set(ARG_NAMESPACE ${target})
  endif()

  # two libraries in one namespace would link as one, and one inside
  # another's would meet its own names there
  get_property(taken GLOBAL PROPERTY NATIVEGEN_LIBRARY_NAMESPACES)
  foreach(entry IN LISTS taken)
    string(REPLACE "=" ";" entry "${entry}")
    list(GET entry 0 other_ns)
    list(GET entry 1 other)
    string(FIND "${ARG_NAMESPACE}::" "${other_ns}::" inside)
    string(FIND "${other_ns}::" "${ARG_NAMESPACE}::" outside)
    if(inside EQUAL 0 OR outside EQUAL 0)
      message(FATAL_ERROR "nativegen_add_library: ${target}'s namespace ${ARG_NAMESPACE} clashes with "
                          "${other}'s ${other_ns}: give each library a NAMESPACE of its own, none inside another's")
    endif()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY NATIVEGEN_LIBRARY_NAMESPACES "${ARG_NAMESPACE}=${target}")

  if(NOT DEFINED ARG_DATA)
    if(MSVC OR CMAKE_CXX_COMPILER_FRONTEND_VARIANT STREQUAL "MSVC")
      set(ARG_DATA msvc)
    else()
      set(ARG_DATA incbin)
    endif()
  endif()
  if(ARG_DATA STREQUAL "msvc")
    get_property(languages GLOBAL PROPERTY ENABLED_LANGUAGES)
    if(NOT "C" IN_LIST languages)
      message(FATAL_ERROR "nativegen_add_library: ${target} keeps its scripts' bytes in a C source for this "
                          "compiler: enable C (project(... LANGUAGES C CXX) or enable_language(C))")
    endif()
  elseif(NOT ARG_DATA STREQUAL "incbin")
    message(FATAL_ERROR "nativegen_add_library: DATA is incbin or msvc, not \"${ARG_DATA}\"")
  endif()

  if(compress)
    _nativegen_zstd(zstd "nativegen_add_library(${target} COMPRESS)")
  endif()

  _nativegen_builder(builder nativegen_add_library "${ARG_BUILDER}" "")
  _nativegen_resolve(${builder} builder_file builder_depend run)
  # what the data goes to, for the largest blob that links there (the
  # front end refuses a larger one before anything compiles)
  if(ARG_DATA STREQUAL "msvc")
    set(form msvc)
  elseif(APPLE)
    set(form macho-arm64)
    if("x86_64" IN_LIST CMAKE_OSX_ARCHITECTURES OR (NOT CMAKE_OSX_ARCHITECTURES AND
                                                    CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$"))
      set(form macho-x86_64)
    endif()
  elseif(WIN32 OR CYGWIN)
    set(form coff)
  elseif(CMAKE_SIZEOF_VOID_P EQUAL 8 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
    set(form elf-x86_64)
  elseif(CMAKE_SIZEOF_VOID_P EQUAL 8 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
    set(form elf-aarch64)
  else()
    set(form elf)
  endif()
  _nativegen_check_names(${target} "${ARG_NAMESPACE}" ${builder} "${run}" ${compress} --target ${form})
  _nativegen_check_consumer(${target} "${ARG_NAMESPACE}")

  if(NOT DEFINED ARG_OUTPUT_DIR OR ARG_OUTPUT_DIR STREQUAL "")
    set(ARG_OUTPUT_DIR "${CMAKE_CURRENT_BINARY_DIR}/nativegen-libraries/${target}")
  endif()
  get_filename_component(out "${ARG_OUTPUT_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  if(out MATCHES ";" OR out MATCHES "[$][{]")
    # a target's sources and include folders are CMake lists, and CMake
    # expands a variable reference in a source's path
    message(FATAL_ERROR "nativegen_add_library: OUTPUT_DIR ${out} holds a \";\" or a \"\${\", which no "
                        "target's sources or include folders can: give a folder without them")
  endif()
  file(MAKE_DIRECTORY "${out}")
  set(header "${out}/${target}.h")
  set(table "${out}/${target}.table.cpp")
  # the bytes: in a C source of their own, or (incbin) read by the assembler
  # from the table's source, which spares a compile
  set(data "")
  if(ARG_DATA STREQUAL "msvc")
    set(data "${out}/${target}.data.c")
  endif()
  set(options --library ${target} --namespace ${ARG_NAMESPACE} --data ${ARG_DATA} --target ${form})
  if(ARG_STRICT)
    list(APPEND options --strict)
  endif()
  list(APPEND options ${compress})
  foreach(kind FILES EXCLUDE)
    string(TOLOWER "--${kind}" option)
    foreach(glob IN LISTS ARG_${kind})
      # a ";" in a glob stays in it through the lists below
      string(REPLACE ";" "\\;" glob "${glob}")
      list(APPEND options ${option} "${glob}")
    endforeach()
  endforeach()
  if(DEFINED ARG_FILES)
    # a build tree below the root (an in-source build) is never walked:
    # its objects and the library's own files would be taken
    list(APPEND options --skip-folder "${CMAKE_BINARY_DIR}")
    if(ARG_READ_FROM_SOURCE OR NATIVEGEN_READ_FROM_SOURCE)
      list(APPEND options --read-from-source)
    endif()
  endif()
  # a file whose content did not change keeps its time: a touched script
  # rebuilds at most the table and the data. (The blob, <target>.<hash>.bin,
  # is named by its content and by the table, which changes with it.)
  _nativegen_rule("${out}/${target}" "${root}" "${out}" MADE "${header}" "${table}" "${data}"
                  RUNNER ${run} COMMAND ${builder_file} OPTIONS ${options} DEPENDS ${builder_depend})

  # an object library: its objects go straight to the consumer's link,
  # with no archive written (and read) between; a static library that links
  # it holds them, for what links that
  add_library(${target} OBJECT "${table}" ${data} "${header}" "${out}/${target}.stamp")
  target_include_directories(${target} PUBLIC "$<BUILD_INTERFACE:${out}>")
  target_link_libraries(${target} PUBLIC NativeGen::library)
  target_compile_features(${target} PUBLIC cxx_std_17)
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE CXX)
  if(compress)
    # the table's read() decompresses: the consumer links zstd with it
    target_link_libraries(${target} PUBLIC ${zstd})
  endif()
  if(ARG_DATA STREQUAL "incbin")
    # the assembler reads the blob: with GCC, outside link-time optimisation,
    # which would keep the assembler's symbol from the linker
    set_source_files_properties("${table}" PROPERTIES COMPILE_OPTIONS "$<$<CXX_COMPILER_ID:GNU>:-fno-lto>")
  endif()
endfunction()
