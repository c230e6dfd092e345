# Script libraries, checked from the outside.
#
#   cmake -DCOMPILER=<gcc|clang|mingw|clang-cl> -DSOURCE=<project source> -DWORK=<scratch dir>
#         -DBUILDER=<nativegen-build> -DGENERATOR=<nativegen> [-DEMULATOR=<runner>] [-DDRIVE=Z:]
#         -P library_check.cmake
#
# gcc, clang, mingw: builds tests/nativegen-build/library_consumer with that compiler, then runs its
# check against the generator's own header for each tree (the generator
# run standing in a copy of the tree; EMULATOR runs the Windows programs).
# clang-cl: the front end's sources for the C literal data, over the
# hostile names and a script of several rows, compiled with clang-cl
# /W4 /WX; no object may hold a static initialiser. Says "skipped" when
# a compiler it needs is not installed.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(trees ${SOURCE}/tests/fixtures/library)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    message(FATAL_ERROR "${ARGN} failed:\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

# Ends the check, skipped, when `program` is not installed.
macro(skip_without program)
  find_program(found_${program} ${program})
  if(NOT found_${program})
    message("${program} is not installed: skipped")
    return()
  endif()
endmacro()

if(COMPILER STREQUAL "clang-cl")
  skip_without(clang-cl-14)
  skip_without(x86_64-w64-mingw32-g++-posix)
  skip_without(llvm-objdump-14)
  # the hostile names and a script three rows and more long
  file(COPY ${trees}/names/ DESTINATION ${WORK}/tree)
  string(REPEAT "const s = \"quotes\", q = '??=', t = '\t'; // café\n" 5000 long)
  file(WRITE ${WORK}/tree/long.js "${long}")
  run(${BUILDER} ${WORK}/tree ${WORK}/out --library scripts --namespace scripts --data msvc)
  # and the same tree as a package, with its folders' listings
  run(${BUILDER} ${WORK}/tree ${WORK}/out --library pkg --files * --data msvc)
  # and compressed, whose read() decompresses (zstd's header alone: nothing links here)
  run(${BUILDER} ${WORK}/tree ${WORK}/out --library packed --files * --data msvc --compress)
  file(COPY /usr/include/zstd.h DESTINATION ${WORK}/zstd)
  file(WRITE ${WORK}/use.cpp "#include \"scripts.h\"\n#include \"pkg.h\"\n#include \"packed.h\"\n"
             "int main() { static char bytes[1 << 20]; return scripts::find(\"long\") &&\n"
             "    scripts::all().size() == scripts::count() && pkg::find(\"long.js\") && !pkg::list(\"\").empty() &&\n"
             "    packed::read(*packed::find(\"long.js\"), bytes) ? 0 : 1; }\n")
  # no MSVC headers here: mingw-w64's C++ library stands in for them
  file(GLOB cxx_include /usr/lib/gcc/x86_64-w64-mingw32/*-posix/include/c++)
  list(GET cxx_include 0 cxx_include)
  set(system -imsvc ${cxx_include} -imsvc ${cxx_include}/x86_64-w64-mingw32 -imsvc /usr/share/mingw-w64/include
             /D__STRICT_ANSI__)
  foreach(source out/scripts.data.c out/scripts.table.cpp out/pkg.data.c out/pkg.table.cpp out/packed.data.c
                 out/packed.table.cpp use.cpp)
    get_filename_component(name ${source} NAME)
    set(language /std:c++17)
    if(source MATCHES "[.]c$")
      set(language "")
    endif()
    # "--": a path is never read as an option
    run(clang-cl-14 /nologo /c /W4 /WX ${language} /I${WORK}/out /I${SOURCE}/include /I${WORK}/zstd ${system} /Fo${WORK}/${name}.obj --
        ${WORK}/${source})
  endforeach()
  # no object may run code at start-up
  foreach(object scripts.data.c.obj scripts.table.cpp.obj pkg.data.c.obj pkg.table.cpp.obj packed.data.c.obj
                 packed.table.cpp.obj)
    run(${found_llvm-objdump-14} -h ${WORK}/${object})
    if(out MATCHES "CRT\\$XC")
      message(FATAL_ERROR "${object} runs code at start-up:\n${out}")
    endif()
  endforeach()
  return()
endif()

set(suffix "")
if(COMPILER STREQUAL "clang")
  skip_without(clang++-14)
  set(compilers -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14)
elseif(COMPILER STREQUAL "mingw")
  set(compilers -DCMAKE_TOOLCHAIN_FILE=${SOURCE}/cmake/mingw-w64.cmake)
  set(suffix .exe)
else()
  # with link-time optimisation, which must leave the assembler's blob to the linker
  set(compilers -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DCMAKE_INTERPROCEDURAL_OPTIMIZATION=ON)
endif()
# the trees as a copy the check may change
file(COPY ${trees}/ DESTINATION ${WORK}/trees)
run(${CMAKE_COMMAND} -S ${SOURCE}/tests/nativegen-build/library_consumer -B ${WORK}/build -G Ninja ${compilers}
    -DNATIVEGEN_SOURCE=${SOURCE} -DBUILDER=${BUILDER} -DTREES=${WORK}/trees)
run(${CMAKE_COMMAND} --build ${WORK}/build)
run(${EMULATOR} ${WORK}/build/unity_check${suffix})
run(${EMULATOR} ${WORK}/build/nested_outer_first${suffix})
run(${EMULATOR} ${WORK}/build/nested_inner_first${suffix})

# Each library against the generator's header for its tree, from a run
# standing in a copy of the tree.
get_filename_component(generator_name ${GENERATOR} NAME)
function(compare)
  foreach(tree one two names)
    file(REMOVE_RECURSE ${WORK}/${tree})
    file(COPY ${WORK}/trees/${tree}/ DESTINATION ${WORK}/${tree})
    file(COPY ${GENERATOR} DESTINATION ${WORK}/${tree})
    file(MAKE_DIRECTORY ${WORK}/header-${tree})
    execute_process(COMMAND ${EMULATOR} ${WORK}/${tree}/${generator_name} WORKING_DIRECTORY ${WORK}/header-${tree})
    set(${tree} ${DRIVE}${WORK}/header-${tree}/native.h)
  endforeach()
  run(${EMULATOR} ${WORK}/build/check${suffix} one=${one} two=${two} names=${names} names-c=${names})
  message("${out}")
endfunction()
compare()

# A script that changes rebuilds its library's table (which names the new
# blob), and the program is linked again; its own source is not compiled again.
file(APPEND ${WORK}/trees/one/lib/fs.js "// one line more\n")
run(${CMAKE_COMMAND} --build ${WORK}/build --verbose)
if(NOT out MATCHES "-c [^ ]*nativegen_tree_one[.]table[.]cpp" OR out MATCHES "-c [^ ]*library_check[.]cpp")
  message(FATAL_ERROR "a changed script rebuilt the wrong things:\n${out}")
endif()
compare()
