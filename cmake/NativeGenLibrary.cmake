# A tree of scripts as a static library.
#
#   nativegen_add_library(<target> SCRIPT_ROOT <dir> [NAMESPACE <ns>] [STRICT]
#                         [OUTPUT_DIR <dir>] [DATA incbin|msvc]
#                         [BUILDER <executable path or target>])
#
# makes the STATIC library <target> holding every script the generator
# takes from the tree, and the header "<target>.h" through which a
# consumer reaches them by module name, in the namespace NAMESPACE (the
# target's name by default):
#
#   #include "<target>.h"
#   const <ns>::entry* app = <ns>::find("app");       // null when none
#   for (const <ns>::entry& e : <ns>::all()) ...       // in the header's order
#
# The front end (nativegen-build) walks the tree as the generator does and
# writes the library's sources into OUTPUT_DIR (nativegen-libraries/<target>
# in the current build directory by default; a relative one is taken from
# the current build directory), each only when its content
# changes: a change to the tree rebuilds this library's data and table,
# and never a consumer. It runs as the header's rule does (with Ninja when
# its depfile says a script or directory changed; with other generators
# on every build). No file name of the tree passes through CMake.
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

function(nativegen_add_library target)
  cmake_parse_arguments(ARG "STRICT" "SCRIPT_ROOT;NAMESPACE;OUTPUT_DIR;DATA;BUILDER" "" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "nativegen_add_library: unknown arguments: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_SCRIPT_ROOT)
    message(FATAL_ERROR "nativegen_add_library: SCRIPT_ROOT is required")
  endif()
  get_filename_component(root "${ARG_SCRIPT_ROOT}" ABSOLUTE)
  if(NOT IS_DIRECTORY "${root}")
    message(FATAL_ERROR "nativegen_add_library: SCRIPT_ROOT ${root} is not a directory")
  endif()

  # the front end checks the namespace fully (keywords, macros); this
  # catches a target name that is no identifier before anything is built
  # (a NAMESPACE of "N" or "Off" is a namespace like any other)
  if("NAMESPACE" IN_LIST ARG_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "nativegen_add_library: NAMESPACE needs a value")
  elseif("${ARG_NAMESPACE}" STREQUAL "")
    set(ARG_NAMESPACE ${target})
    set(origin "the target's name; give NAMESPACE")
  else()
    set(origin "NAMESPACE")
  endif()
  if(NOT ARG_NAMESPACE MATCHES "^[A-Za-z][A-Za-z0-9_]*(::[A-Za-z][A-Za-z0-9_]*)*$" OR ARG_NAMESPACE MATCHES "__")
    message(FATAL_ERROR "nativegen_add_library: \"${ARG_NAMESPACE}\" (${origin}) is not a C++ namespace: "
                        "identifiers joined by ::, each starting with a letter, no __")
  endif()

  # two libraries in one namespace would link as one: the first's table
  # would answer for both. Nor may one namespace stand where another
  # library's own names are.
  get_property(taken GLOBAL PROPERTY NATIVEGEN_LIBRARY_NAMESPACES)
  foreach(entry IN LISTS taken)
    string(REPLACE "=" ";" entry "${entry}")
    list(GET entry 0 other_ns)
    list(GET entry 1 other)
    foreach(pair "${ARG_NAMESPACE};${other_ns}" "${other_ns};${ARG_NAMESPACE}")
      list(GET pair 0 inner)
      list(GET pair 1 outer)
      if(inner STREQUAL outer OR inner MATCHES "^${outer}::(entry|entries|find|all|count)(::|$)")
        message(FATAL_ERROR "nativegen_add_library: ${target}'s namespace ${ARG_NAMESPACE} clashes with "
                            "${other}'s ${other_ns}: give each library a NAMESPACE of its own")
      endif()
    endforeach()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY NATIVEGEN_LIBRARY_NAMESPACES "${ARG_NAMESPACE}=${target}")

  # "<target>.h" stands on the include path of every consumer: it must not
  # hide a header of the system's
  set(system_headers assert complex ctype errno fenv float inttypes iso646 limits locale math setjmp signal
      stdalign stdarg stdatomic stdbool stddef stdint stdio stdlib stdnoreturn string tgmath threads time uchar
      wchar wctype unistd fcntl strings dirent pthread sched poll termios dlfcn malloc memory alloca features
      windows winsock2 io process direct)
  string(TOLOWER "${target}" lower)
  if(lower IN_LIST system_headers)
    message(FATAL_ERROR "nativegen_add_library: ${target}.h would hide the system's <${target}.h> from "
                        "everything that links ${target}: give the library another name")
  endif()

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

  if(NOT ARG_OUTPUT_DIR)
    set(ARG_OUTPUT_DIR "${CMAKE_CURRENT_BINARY_DIR}/nativegen-libraries/${target}")
  endif()
  get_filename_component(out "${ARG_OUTPUT_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  file(MAKE_DIRECTORY "${out}")
  set(header "${out}/${target}.h")
  set(table "${out}/${target}.table.cpp")
  set(data "${out}/${target}.data.${data_ext}")
  set(blob "")
  if(ARG_DATA STREQUAL "incbin")
    set(blob "${out}/${target}.bin")
  endif()
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
  # a file whose content did not change keeps its time: a touched script
  # rebuilds at most the data
  _nativegen_rule("${out}/${target}" "${root}" "${out}" MADE "${header}" "${table}" "${data}" ${blob}
                  RUNNER ${run} COMMAND ${builder_file} OPTIONS ${options} DEPENDS ${builder_depend})

  add_library(${target} STATIC "${table}" "${data}" "${header}" "${out}/${target}.stamp")
  target_include_directories(${target} PUBLIC "$<BUILD_INTERFACE:${out}>")
  target_compile_features(${target} PUBLIC cxx_std_17)
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE CXX)
  if(blob)
    # the assembler reads the blob: the data's object is remade when it changes
    # (and, with GCC, outside link-time optimisation, which would keep the
    # assembler's symbol from the linker)
    set_source_files_properties("${data}" PROPERTIES OBJECT_DEPENDS "${blob}"
                                COMPILE_OPTIONS "$<$<CXX_COMPILER_ID:GNU>:-fno-lto>")
  endif()
endfunction()
