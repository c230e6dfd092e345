# A tree of scripts as a static library.
#
#   nativegen_add_library(<target> SCRIPT_ROOT <dir> [FILES <glob>... [EXCLUDE <glob>...]]
#                         [NAMESPACE <ns>] [STRICT] [OUTPUT_DIR <dir>] [DATA incbin|msvc]
#                         [BUILDER <executable path or target>])
#
# makes the STATIC library <target> holding every script the generator
# takes from the tree, and the header "<target>.h" through which a
# consumer reaches them by module name, in the namespace NAMESPACE (the
# target's name by default):
#
#   #include "<target>.h"
#   const <ns>::entry* app = <ns>::find("app");       // null when none
#   for (const <ns>::entry& e : <ns>::all()) ...       // in the tree's order
#
# The front end (nativegen-build) walks the tree as the generator does and
# writes the library's sources into OUTPUT_DIR (nativegen-libraries/<target>
# in the current build directory by default; a relative one is taken from
# the current build directory), each only when its content
# changes: a change to the tree rebuilds this library's data and table,
# and never a consumer. It runs as the header's rule does (with Ninja, not
# through an emulator, when its depfile says a script or directory
# changed; otherwise on every build). No file name of the tree passes through CMake.
#
# With FILES the library is a package: every regular file below the root
# whose path (relative to it, "/" between parts) a FILES glob matches and
# no EXCLUDE glob, by that path in UTF-8, and <ns>::list(folder) gives
# what a folder holds (docs/package-library.md). "*" and "?" stay within
# a folder, "**" crosses folders, a glob without "/" matches the file's
# own name at any depth; ASCII case is ignored. A FILES glob that takes
# no file fails the build and is named. The build tree and the output
# folder, when they lie below the root, are never walked.
#
# The scripts' bytes together may not pass what links for the target
# (docs/limits.md): the build stops before anything compiles, naming both.
#
# DATA picks how the bytes reach the object file: "incbin" (the assembler
# reads the blob; GCC, Clang, MinGW) or "msvc" (C string literals within
# that compiler's limits; needs C enabled). By default: "msvc" for MSVC
# and clang-cl, "incbin" for every other compiler. STRICT makes the front
# end's warnings (a script it could not embed, two scripts of one module
# name) errors. BUILDER names the front end, as for nativegen_add_header.

include_guard(GLOBAL)

# The front end's own rules for a library's name and namespace, asked of
# it now where it can run already (an installed or prebuilt one run
# without an emulator); otherwise its first run in the build refuses them.
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
  execute_process(COMMAND "${program}" --check-names --library ${target} --namespace ${nameSpace}
                  RESULT_VARIABLE refused ERROR_VARIABLE why OUTPUT_QUIET)
  if(refused)
    string(STRIP "${why}" why)
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
  cmake_parse_arguments(ARG "STRICT" "SCRIPT_ROOT;NAMESPACE;OUTPUT_DIR;DATA;BUILDER" "FILES;EXCLUDE" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "nativegen_add_library: unknown arguments: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_SCRIPT_ROOT)
    message(FATAL_ERROR "nativegen_add_library: SCRIPT_ROOT is required")
  endif()
  if(("FILES" IN_LIST ARG_KEYWORDS_MISSING_VALUES) OR (ARG_EXCLUDE AND NOT ARG_FILES)
     OR ("EXCLUDE" IN_LIST ARG_KEYWORDS_MISSING_VALUES))
    message(FATAL_ERROR "nativegen_add_library: FILES needs at least one glob, and EXCLUDE goes with FILES")
  endif()
  get_filename_component(root "${ARG_SCRIPT_ROOT}" ABSOLUTE)
  if(NOT IS_DIRECTORY "${root}")
    message(FATAL_ERROR "nativegen_add_library: SCRIPT_ROOT ${root} is not a directory")
  endif()

  if("NAMESPACE" IN_LIST ARG_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "nativegen_add_library: NAMESPACE needs a value")
  elseif("${ARG_NAMESPACE}" STREQUAL "")
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

  if(NOT ARG_DATA)
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
    set(data_ext c)
  elseif(ARG_DATA STREQUAL "incbin")
    set(data_ext cpp)
  else()
    message(FATAL_ERROR "nativegen_add_library: DATA is incbin or msvc, not \"${ARG_DATA}\"")
  endif()

  _nativegen_builder(builder nativegen_add_library "${ARG_BUILDER}" "")
  _nativegen_resolve(${builder} builder_file builder_depend run)
  _nativegen_check_names(${target} "${ARG_NAMESPACE}" ${builder} "${run}")
  _nativegen_check_consumer(${target} "${ARG_NAMESPACE}")

  if(NOT ARG_OUTPUT_DIR)
    set(ARG_OUTPUT_DIR "${CMAKE_CURRENT_BINARY_DIR}/nativegen-libraries/${target}")
  endif()
  get_filename_component(out "${ARG_OUTPUT_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  file(MAKE_DIRECTORY "${out}")
  set(header "${out}/${target}.h")
  set(table "${out}/${target}.table.cpp")
  set(data "${out}/${target}.data.${data_ext}")
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
  set(options --library ${target} --namespace ${ARG_NAMESPACE} --data ${ARG_DATA} --target ${form})
  if(ARG_STRICT)
    list(APPEND options --strict)
  endif()
  foreach(kind FILES EXCLUDE)
    string(TOLOWER "--${kind}" option)
    foreach(glob IN LISTS ARG_${kind})
      list(APPEND options ${option} "${glob}")
    endforeach()
  endforeach()
  if(ARG_FILES)
    # a build tree below the root (an in-source build) is never walked:
    # its objects and the library's own files would be taken
    list(APPEND options --skip-folder "${CMAKE_BINARY_DIR}")
  endif()
  # a file whose content did not change keeps its time: a touched script
  # rebuilds at most the data. (The blob, <target>.<hash>.bin, is named by
  # its content and by the data source, which changes with it.)
  _nativegen_rule("${out}/${target}" "${root}" "${out}" MADE "${header}" "${table}" "${data}"
                  RUNNER ${run} COMMAND ${builder_file} OPTIONS ${options} DEPENDS ${builder_depend})

  add_library(${target} STATIC "${table}" "${data}" "${header}" "${out}/${target}.stamp")
  target_include_directories(${target} PUBLIC "$<BUILD_INTERFACE:${out}>")
  target_compile_features(${target} PUBLIC cxx_std_17)
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE CXX)
  if(ARG_DATA STREQUAL "incbin")
    # the assembler reads the blob: with GCC, outside link-time optimisation,
    # which would keep the assembler's symbol from the linker
    set_source_files_properties("${data}" PROPERTIES COMPILE_OPTIONS "$<$<CXX_COMPILER_ID:GNU>:-fno-lto>")
  endif()
endfunction()
