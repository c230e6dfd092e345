# Other projects taking the generator in, tried from the outside: each
# check builds tests/integration (a user's project) in a scratch directory.
#   cmake -DCHECK=<name> -DSOURCE=<project source> -DBUILD=<its build>
#         -DWORK=<scratch dir> -P integration_check.cmake
# installed     install, move the installed tree, find_package from there;
#               the generator by path; the example project
# subdirectory  add_subdirectory beside a target named "runtime"
# fetchcontent  FetchContent from a local path
# follows       scripts added, renamed, removed in any case remake the
#               header; touching one, or a file that is no script, or
#               nothing, recompiles nothing; a folder replaced by a file
# hostile       a tree of names CMake, Make and code pages trip on, built
#               from a deep build directory holding "[" with Ninja and
#               Makefiles: the header is the generator's own run standing
#               in the tree, byte for byte; a user's OUTPUT_DIR keeps its
#               files
# readonly      a read-only script tree (as an unprivileged user when root)
#               builds and gains nothing; a second build tree over it
#               leaves the first one as it was
# safe          SAFE_IDENTIFIERS over real-shaped names (the C library's
#               among them), built with GCC, Clang and MinGW;
#               without it the header is the generator's, byte for byte
# meson         a Meson project runs the front end with its depfile
# libraryrules  library calls that cannot work are refused when CMake
#               configures, naming the reason
# snippets      every code block of the README and docs/ built or run as
#               pasted, against the installed package: CMake (installed,
#               subproject, by path), Make (a script deleted, a name no
#               depfile holds), Meson, the cross build, the command line
# libraryargs   a SCRIPT_ROOT and FILES glob holding ";", "[", "$" or a
#               space, and an OUTPUT_DIR holding "[", "$" or a space, are
#               taken whole; COMPRESS alone builds the blob the front
#               end's --compress writes, a level that level's
# outputdir     a relative OUTPUT_DIR is taken from the build directory:
#               the sources gain nothing
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(user ${SOURCE}/tests/integration)
set(check_source ${SOURCE}/tests/consumer_check.cpp)

# Runs a command; fails the check when it fails. Its output goes to `out`.
function(run)
  cmake_parse_arguments(RUN "" "OUTPUT;WORKING_DIRECTORY" "" ${ARGN})
  if(NOT RUN_WORKING_DIRECTORY)
    set(RUN_WORKING_DIRECTORY ${WORK})
  endif()
  execute_process(COMMAND ${RUN_UNPARSED_ARGUMENTS} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out
                  WORKING_DIRECTORY ${RUN_WORKING_DIRECTORY})
  if(failed)
    message(FATAL_ERROR "${RUN_UNPARSED_ARGUMENTS} failed:\n${out}")
  endif()
  if(RUN_OUTPUT)
    set(${RUN_OUTPUT} "${out}" PARENT_SCOPE)
  endif()
endfunction()

# The project's install, as a user unpacks it, at WORK/package.
function(install_package)
  run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${WORK}/package)
endfunction()

# Configures and builds the user's project in WORK/<dir>, then runs its
# check over `scripts`.
function(build_user dir scripts)
  run(${CMAKE_COMMAND} -S ${user} -B ${WORK}/${dir} -G Ninja -DSCRIPTS=${scripts} -DCHECK_SOURCE=${check_source}
      ${ARGN})
  run(${CMAKE_COMMAND} --build ${WORK}/${dir})
  run(${WORK}/${dir}/check ${scripts})
endfunction()

# Every file below `dir`, as a sorted list.
function(tree_listing dir out_var)
  file(GLOB_RECURSE files LIST_DIRECTORIES true RELATIVE ${dir} ${dir}/*)
  list(SORT files)
  set(${out_var} "${files}" PARENT_SCOPE)
endfunction()

# The header the installed generator writes standing in `tree`, at `out`.
function(standing_header tree out)
  file(COPY ${WORK}/package/bin/nativegen DESTINATION ${tree})
  get_filename_component(dir ${out} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  run(${CMAKE_COMMAND} -E chdir ${dir} ${tree}/nativegen)
  file(REMOVE ${tree}/nativegen)
  file(RENAME ${dir}/native.h ${out})
endfunction()

# Fails unless the files `a` and `b` hold the same bytes.
function(expect_same a b what)
  file(SHA256 ${a} one)
  file(SHA256 ${b} two)
  if(NOT one STREQUAL two)
    message(FATAL_ERROR "${what}: ${a} and ${b} differ")
  endif()
endfunction()

set(fixture ${SOURCE}/tests/fixtures/consumer)

if(CHECK STREQUAL "installed")
  install_package()
  file(RENAME ${WORK}/package ${WORK}/moved)  # relocatable: it works where it was moved to
  foreach(file bin/nativegen bin/nativegen-identifiers include/nativegen/node_native.h
               lib/cmake/NativeGen/NativeGenConfig.cmake lib/cmake/NativeGen/NativeGenConfigVersion.cmake
               lib/cmake/NativeGen/NativeGen.cmake)
    if(NOT EXISTS ${WORK}/moved/${file})
      message(FATAL_ERROR "the installed tree lacks ${file}")
    endif()
  endforeach()
  build_user(build ${fixture} -DHOW=find_package -DCMAKE_PREFIX_PATH=${WORK}/moved)
  build_user(by-path ${fixture} -DHOW=path -DNATIVEGEN_PREFIX=${WORK}/moved)
  # the example project, as its comment says to build it
  run(${CMAKE_COMMAND} -S ${SOURCE}/examples -B ${WORK}/example -G Ninja -DCMAKE_PREFIX_PATH=${WORK}/moved)
  run(${CMAKE_COMMAND} --build ${WORK}/example)
  run(${WORK}/example/app)

elseif(CHECK STREQUAL "subdirectory" OR CHECK STREQUAL "fetchcontent")
  # the source as a user's copy of it, with no build tree inside
  file(COPY ${SOURCE}/ DESTINATION ${WORK}/nativegen PATTERN build EXCLUDE PATTERN .git EXCLUDE)
  if(CHECK STREQUAL "subdirectory")
    build_user(build ${fixture} -DHOW=${CHECK} -DNATIVEGEN_SOURCE=${WORK}/nativegen)
  else()
    # the rewriter, left out of a parent's "all", is built because a header asks for it
    build_user(build ${SOURCE}/tests/fixtures/real -DHOW=${CHECK} -DNATIVEGEN_SOURCE=${WORK}/nativegen -DSAFE=ON)
  endif()

elseif(CHECK STREQUAL "follows")
  install_package()
  file(COPY ${SOURCE}/examples/scripts/ DESTINATION ${WORK}/tree)
  # an upper-case ".JS" stays in the identifier: only rewritten ones compile
  build_user(build ${WORK}/tree -DHOW=find_package -DCMAKE_PREFIX_PATH=${WORK}/package -DSAFE=ON)
  set(header ${WORK}/build/nativegen-headers/scripts/native.h)
  # Builds and answers whether the consumer compiled again: it does exactly
  # when the header it includes changed.
  function(rebuild out_var)
    run(${CMAKE_COMMAND} --build ${WORK}/build OUTPUT out)
    string(FIND "${out}" "Building CXX object CMakeFiles/check.dir" at)
    if(at EQUAL -1)
      set(${out_var} FALSE PARENT_SCOPE)
    else()
      set(${out_var} TRUE PARENT_SCOPE)
    endif()
  endfunction()
  # Each change, then whether the header holds and lacks these modules.
  function(expect_after what remade has lacks)
    rebuild(made)
    if(NOT made STREQUAL remade)
      message(FATAL_ERROR "after ${what} the consumer compiled again: ${made}, expected ${remade}")
    endif()
    file(READ ${header} text)
    foreach(name ${has})
      string(FIND "${text}" "{ \"${name}\"," at)
      if(at EQUAL -1)
        message(FATAL_ERROR "after ${what} native.h lacks ${name}")
      endif()
    endforeach()
    foreach(name ${lacks})
      string(FIND "${text}" "{ \"${name}\"," at)
      if(NOT at EQUAL -1)
        message(FATAL_ERROR "after ${what} native.h still holds ${name}")
      endif()
    endforeach()
    run(${WORK}/build/check ${WORK}/tree)
  endfunction()

  expect_after("nothing" FALSE "app;lib/fs" "")
  run(touch ${WORK}/tree/app.js ${WORK}/tree/lib)
  expect_after("touching app.js and lib" FALSE "app;lib/fs" "")
  file(WRITE ${WORK}/tree/UP.JS "// upper case\n")
  run(touch -d 2001-01-01 ${WORK}/tree/UP.JS)  # older than the header
  expect_after("adding UP.JS" TRUE "UP.JS" "")
  file(RENAME ${WORK}/tree/UP.JS ${WORK}/tree/Up2.Js)
  expect_after("renaming UP.JS" TRUE "Up2.Js" "UP.JS")
  file(REMOVE ${WORK}/tree/Up2.Js)
  expect_after("removing Up2.Js" TRUE "app" "Up2.Js")
  file(WRITE ${WORK}/tree/lib/x.js "// x\n")
  expect_after("adding lib/x.js" TRUE "lib/x" "")
  file(WRITE ${WORK}/tree/lib/x.js "// x, changed\n")
  expect_after("changing lib/x.js" TRUE "lib/x" "")
  file(REMOVE ${WORK}/tree/lib/x.js)
  expect_after("removing lib/x.js" TRUE "" "lib/x")
  file(WRITE ${WORK}/tree/notes.txt "not a script\n")
  expect_after("adding notes.txt" FALSE "app" "")
  file(REMOVE_RECURSE ${WORK}/tree/util)
  file(WRITE ${WORK}/tree/util "a file where a folder of scripts was\n")
  expect_after("a folder replaced by a file" TRUE "app" "util/text")
  expect_after("nothing again" FALSE "app" "")

elseif(CHECK STREQUAL "readonly")
  install_package()
  file(COPY ${SOURCE}/examples/scripts/ DESTINATION ${WORK}/tree)
  tree_listing(${WORK}/tree before)
  run(chmod -R a-w ${WORK}/tree)
  execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(as_user "")
  if(uid STREQUAL "0")
    # root writes anywhere: the build runs as nobody, who may not write the tree
    file(MAKE_DIRECTORY ${WORK}/build)
    run(chown -R nobody: ${WORK}/build)
    set(as_user setpriv --reuid=nobody --regid=nogroup --clear-groups)
  endif()
  run(${as_user} ${CMAKE_COMMAND} -S ${user} -B ${WORK}/build -G Ninja -DSCRIPTS=${WORK}/tree
      -DCHECK_SOURCE=${check_source} -DHOW=find_package -DCMAKE_PREFIX_PATH=${WORK}/package)
  run(${as_user} ${CMAKE_COMMAND} --build ${WORK}/build)
  run(${WORK}/build/check ${WORK}/tree)
  # a second build tree over the same scripts meets nothing of the first
  build_user(second ${WORK}/tree -DHOW=find_package -DCMAKE_PREFIX_PATH=${WORK}/package)
  run(${CMAKE_COMMAND} --build ${WORK}/build OUTPUT again)
  if(NOT again MATCHES "no work to do")
    message(FATAL_ERROR "a second build tree made the first one build again:\n${again}")
  endif()
  tree_listing(${WORK}/tree after)
  run(chmod -R u+w ${WORK}/tree)
  if(NOT before STREQUAL after)
    message(FATAL_ERROR "the script tree changed:\nbefore: ${before}\nafter:  ${after}")
  endif()

elseif(CHECK STREQUAL "safe")
  install_package()
  # a copy, for the generator to stand in
  file(COPY ${SOURCE}/tests/fixtures/real/ DESTINATION ${WORK}/tree)
  set(real ${WORK}/tree)
  # names of the C library's functions and macros, reserved shapes: with
  # GCC and Clang built and run, with MinGW (the package's toolchain) built
  foreach(compiler g++ clang++-14)
    build_user(${compiler} ${real} -DHOW=find_package -DCMAKE_PREFIX_PATH=${WORK}/package -DSAFE=ON
               -DCMAKE_CXX_COMPILER=${compiler})
  endforeach()
  run(${CMAKE_COMMAND} -S ${user} -B ${WORK}/mingw -G Ninja -DSCRIPTS=${real} -DCHECK_SOURCE=${check_source}
      -DHOW=find_package -DNativeGen_DIR=${WORK}/package/lib/cmake/NativeGen -DSAFE=ON
      --toolchain ${WORK}/package/lib/cmake/NativeGen/mingw-w64.cmake)
  run(${CMAKE_COMMAND} --build ${WORK}/mingw)
  # without the option the consumer gets the generator's header untouched
  run(${CMAKE_COMMAND} -S ${user} -B ${WORK}/plain -G Ninja -DSCRIPTS=${real} -DCHECK_SOURCE=${check_source}
      -DHOW=find_package -DCMAKE_PREFIX_PATH=${WORK}/package)
  run(${CMAKE_COMMAND} --build ${WORK}/plain --target scripts_native_h)
  standing_header(${WORK}/tree ${WORK}/standing/native.h)
  expect_same(${WORK}/plain/nativegen-headers/scripts/native.h ${WORK}/standing/native.h
              "without SAFE_IDENTIFIERS the header is the generator's")

elseif(CHECK STREQUAL "hostile")
  install_package()
  # names that CMake lists, configure syntax, globs, Make and code pages
  # each mistake for something else, all of them real file names
  set(tree ${WORK}/s[1]/scripts)
  foreach(name "café.js" "模块/模块.js" "a;b.js" "br[ack.js" "cl]ose.js" "x@CMAKE_COMMAND@y.js" "\${x}.js"
               "dq\"uote.js" "sp ace/a b.js" "h#sh.js" "d$ollar.js" "co:lon.js" "niño.js" "UP.JS"
               ".pnpm/@babel+core@7.22.0/node_modules/@babel/core/index.js" "x.js" "x.js.js" "Tom's.js" "a&b.js")
    file(WRITE "${tree}/${name}" "// ${name}\n")
  endforeach()
  file(WRITE "${WORK}/elsewhere/linked.js" "// reached through a link\n")
  file(WRITE "${WORK}/elsewhere/dir/inner.js" "// in a linked folder\n")
  file(CREATE_LINK "${WORK}/elsewhere/linked.js" "${tree}/link.js" SYMBOLIC)
  file(CREATE_LINK "${WORK}/elsewhere/dir" "${tree}/linkdir" SYMBOLIC)
  standing_header(${tree} ${WORK}/standing/native.h)

  # a build directory over 200 characters whose path holds "["
  string(REPEAT "deep-build-directory-" 10 deep)
  set(user_out ${WORK}/user-headers)
  file(WRITE ${user_out}/mine.txt "the user's own file\n")
  file(WRITE ${user_out}/stage/mine.js "// the user's own script\n")
  foreach(generator "Ninja" "Unix Makefiles")
    string(REPLACE " " "-" kind "${generator}")
    set(build "${WORK}/b[${kind}]/${deep}")
    run(${CMAKE_COMMAND} -S ${user} -B ${build} -G ${generator} -DSCRIPTS=${tree} -DCHECK_SOURCE=${check_source}
        -DHOW=find_package -DCMAKE_PREFIX_PATH=${WORK}/package -DOUT_DIR=${user_out}/${kind})
    run(${CMAKE_COMMAND} --build ${build} --target scripts_native_h OUTPUT out)
    # what the header cannot carry is named
    foreach(warned "x.js.js: its module name" "co:lon.js: left out" "niño.js: its name holds")
      string(FIND "${out}" "${warned}" at)
      if(at EQUAL -1)
        message(FATAL_ERROR "no warning \"${warned}\" (${generator}):\n${out}")
      endif()
    endforeach()
    expect_same(${user_out}/${kind}/native.h ${WORK}/standing/native.h "the header built with ${generator}")
    # a touch, then an idle build: the header keeps its time
    file(TIMESTAMP ${user_out}/${kind}/native.h before "%s")
    execute_process(COMMAND sleep 1.1)
    run(touch "${tree}/café.js" "${tree}/sp ace")
    run(${CMAKE_COMMAND} --build ${build} --target scripts_native_h)
    run(${CMAKE_COMMAND} --build ${build} --target scripts_native_h)
    file(TIMESTAMP ${user_out}/${kind}/native.h after "%s")
    if(NOT before STREQUAL after)
      message(FATAL_ERROR "touching scripts rewrote the header (${generator})")
    endif()
    # a removed script leaves the header
    file(REMOVE "${tree}/h#sh.js")
    run(${CMAKE_COMMAND} --build ${build} --target scripts_native_h)
    file(READ ${user_out}/${kind}/native.h text)
    string(FIND "${text}" "h#sh" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "a removed script stayed in the header (${generator})")
    endif()
    file(WRITE "${tree}/h#sh.js" "// h#sh.js\n")
  endforeach()
  file(READ ${user_out}/mine.txt mine)
  if(NOT EXISTS ${user_out}/stage/mine.js OR NOT mine STREQUAL "the user's own file\n")
    message(FATAL_ERROR "the build touched files of the user's OUTPUT_DIR")
  endif()

elseif(CHECK STREQUAL "libraryrules")
  install_package()
  file(COPY ${SOURCE}/examples/scripts/ DESTINATION ${WORK}/tree)
  # each row: the calls, then what the refusal says ("" when they are taken)
  set(rows
    "nativegen_add_library(one SCRIPT_ROOT tree NAMESPACE shared)|nativegen_add_library(two SCRIPT_ROOT tree NAMESPACE shared)|namespace shared clashes with one's shared"
    "nativegen_add_library(one SCRIPT_ROOT tree NAMESPACE a)|nativegen_add_library(two SCRIPT_ROOT tree NAMESPACE a::find)|clashes with one's a"
    "nativegen_add_library(one SCRIPT_ROOT tree NAMESPACE a)|nativegen_add_library(two SCRIPT_ROOT tree NAMESPACE a::scripts)|clashes with one's a"
    "nativegen_add_library(string SCRIPT_ROOT tree NAMESPACE s)|string.h would hide the standard header <string.h>"
    "nativegen_add_library(endian SCRIPT_ROOT tree NAMESPACE s)|endian.h would hide the header <endian.h> this compiler finds"
    "nativegen_add_library(stdc-predef SCRIPT_ROOT tree NAMESPACE s)|stdc-predef.h would hide the header"
    "nativegen_add_library(one SCRIPT_ROOT tree NAMESPACE getpid)|one: getpid: not a namespace for the library"
    "nativegen_add_library(one SCRIPT_ROOT tree NAMESPACE a::strchr)|\"strchr\" is a keyword, a standard macro"
    "nativegen_add_library(one SCRIPT_ROOT tree COMPRESS 23)|one: --compress takes a level from 1 to 22, not \"23\""
    "nativegen_add_library(one SCRIPT_ROOT tree COMPRESS 0)|not \"0\""
    "nativegen_add_library(one SCRIPT_ROOT tree COMPRESS fast)|not \"fast\""
    "nativegen_add_library(one SCRIPT_ROOT tree COMPRESS 3 4)|COMPRESS takes one level, not \"3<semicolon>4\""
    "nativegen_add_library(one SCRIPT_ROOT tree COMPRESS 22 STRICT)|"
    "nativegen_add_library(one SCRIPT_ROOT tree OUTPUT_DIR \"a<semicolon>b\")|OUTPUT_DIR .*a<semicolon>b holds a \"<semicolon>\""
    "nativegen_add_library(one SCRIPT_ROOT tree OUTPUT_DIR \"\\\${x}\")|OUTPUT_DIR .*[$][{]x[}] holds a"
    "nativegen_add_library(one SCRIPT_ROOT tree FROB)|unknown arguments: FROB"
    "nativegen_add_header(one SCRIPT_ROOT tree FROB)|unknown arguments: FROB"
    "nativegen_add_header(one SCRIPT_ROOT tree OUTPUT_DIR \"a<semicolon>b\")|OUTPUT_DIR .*a<semicolon>b holds a"
    "nativegen_add_library(one SCRIPT_ROOT tree NAMESPACE class)|class: not a namespace for the library"
    "nativegen_add_library(one SCRIPT_ROOT tree NAMESPACE a__b)|is reserved"
    "nativegen_add_library(one SCRIPT_ROOT tree NAMESPACE \"\")|NAMESPACE needs a value"
    "nativegen_add_library(one SCRIPT_ROOT tree OUTPUT_DIR \"c#\")|output folder .*c# holds a \"#\", \"<\" or \">\""
    "nativegen_add_header(one SCRIPT_ROOT tree OUTPUT_DIR \"a<b>\")|output folder .*a<b> holds a \"#\""
    "nativegen_add_library(one SCRIPT_ROOT tree NAMESPACE ZSTD_isError COMPRESS)|is a name <zstd.h> or the table itself defines"
    "nativegen_add_library(aux SCRIPT_ROOT tree NAMESPACE s)|aux.h cannot be a file on Windows"
    "nativegen_add_library(one SCRIPT_ROOT tree NAMESPACE Off)|")
  set(i 0)
  foreach(row IN LISTS rows)
    math(EXPR i "${i} + 1")
    string(REPLACE "|" ";" row "${row}")
    list(POP_BACK row said)
    list(JOIN row "\n" calls)
    # (a ";" in a row stands as <semicolon>: the rows are CMake lists)
    string(REPLACE "<semicolon>" ";" calls "${calls}")
    string(REPLACE "<semicolon>" ";" said "${said}")
    file(WRITE ${WORK}/row${i}/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)\nproject(row LANGUAGES CXX)\n"
               "find_package(NativeGen CONFIG REQUIRED)\n${calls}\n")
    file(COPY ${WORK}/tree DESTINATION ${WORK}/row${i})
    execute_process(COMMAND ${CMAKE_COMMAND} -S ${WORK}/row${i} -B ${WORK}/row${i}/build -G Ninja
                            -DCMAKE_PREFIX_PATH=${WORK}/package
                    RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
    string(REPLACE "\n" " " flat "${out}")
    string(REGEX REPLACE " +" " " flat "${flat}")
    if(said STREQUAL "" AND failed)
      message(FATAL_ERROR "row ${i} was refused:\n${out}")
    elseif(NOT said STREQUAL "" AND (NOT failed OR NOT flat MATCHES "${said}"))
      message(FATAL_ERROR "row ${i} was not refused with \"${said}\":\n${out}")
    endif()
  endforeach()

elseif(CHECK STREQUAL "libraryargs")
  install_package()
  set(builder ${WORK}/package/bin/nativegen-build)
  # each row: the tree's folder, a FILES glob, the OUTPUT_DIR: each taken
  # whole, a ";", "[", "$" or space in it as any other character
  set(rows
    "tree|*.js|out"
    "we\;ird|lib/a\;b.txt|out"
    "br[ack] sp ace|*.js|o [1]"
    "d$llar|*\;*|d$ out"
    "\${x}|lib/*|y")
  set(i 0)
  foreach(row IN LISTS rows)
    math(EXPR i "${i} + 1")
    # (split by hand: a list would split the ";" in the names too)
    string(REGEX MATCH "^([^|]*)[|]([^|]*)[|](.*)$" matched "${row}")
    set(root "${CMAKE_MATCH_1}")
    set(glob "${CMAKE_MATCH_2}")
    set(out "${CMAKE_MATCH_3}")
    set(dir ${WORK}/args${i})
    file(COPY ${SOURCE}/examples/scripts/ DESTINATION "${dir}/${root}")
    file(WRITE "${dir}/${root}/lib/a;b.txt" "a;b\n")
    # the names as CMake reads them in a quoted argument
    foreach(var root glob out)
      string(REPLACE "\\" "\\\\" ${var} "${${var}}")
      string(REPLACE "\"" "\\\"" ${var} "${${var}}")
      string(REPLACE "$" "\\$" ${var} "${${var}}")
    endforeach()
    file(WRITE ${dir}/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)\nproject(row LANGUAGES CXX)\n"
               "find_package(NativeGen CONFIG REQUIRED)\n"
               "nativegen_add_library(scripts SCRIPT_ROOT \"${root}\" OUTPUT_DIR \"${out}/s\")\n"
               "nativegen_add_library(files SCRIPT_ROOT \"${root}\" FILES \"${glob}\" OUTPUT_DIR \"${out}/f\")\n"
               "nativegen_add_header(header SCRIPT_ROOT \"${root}\" OUTPUT_DIR \"${out}/h\")\n"
               "add_executable(check main.cpp)\ntarget_link_libraries(check PRIVATE scripts files header)\n")
    file(WRITE ${dir}/main.cpp "#include \"scripts.h\"\n#include \"files.h\"\n#include <cstdio>\n"
               "int main() { std::printf(\"%zu %zu\\n\", scripts::count(), files::count());\n"
               "  return scripts::find(\"app\") && files::count() > 0 ? 0 : 1; }\n")
    run(${CMAKE_COMMAND} -S ${dir} -B ${dir}/build -G Ninja -DCMAKE_PREFIX_PATH=${WORK}/package)
    run(${CMAKE_COMMAND} --build ${dir}/build)
    run(${dir}/build/check)
  endforeach()

  # COMPRESS as the front end run by hand: alone, its own default level;
  # with a level, that level (the blobs byte for byte)
  file(COPY ${SOURCE}/examples/scripts/ DESTINATION ${WORK}/packed/tree)
  string(REPEAT "var alpha = beta + gamma * delta; // the same words again\n" 400 text)
  file(WRITE ${WORK}/packed/tree/words.js "${text}")
  set(rows "COMPRESS|--compress" "COMPRESS 1|--compress=1" "COMPRESS 19|--compress=19")
  set(blobs "")
  foreach(row IN LISTS rows)
    string(REPLACE "|" ";" row "${row}")
    list(GET row 0 call)
    list(GET row 1 option)
    string(MAKE_C_IDENTIFIER "${option}" name)
    set(dir ${WORK}/packed/${name})
    file(WRITE ${dir}/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)\nproject(packed LANGUAGES CXX)\n"
               "find_package(NativeGen CONFIG REQUIRED)\n"
               "nativegen_add_library(lib SCRIPT_ROOT ${WORK}/packed/tree ${call} OUTPUT_DIR made)\n"
               "add_custom_target(made ALL)\nadd_dependencies(made lib)\n")
    run(${CMAKE_COMMAND} -S ${dir} -B ${dir}/build -G Ninja -DCMAKE_PREFIX_PATH=${WORK}/package)
    run(${CMAKE_COMMAND} --build ${dir}/build --target made)
    run(${builder} ${WORK}/packed/tree ${dir}/by-hand --library lib ${option})
    file(GLOB built ${dir}/build/made/lib.*.bin)
    file(GLOB by_hand ${dir}/by-hand/lib.*.bin)
    if(NOT built OR NOT by_hand)
      message(FATAL_ERROR "${call}: no blob built (${built}) or written by hand (${by_hand})")
    endif()
    expect_same(${built} ${by_hand} "nativegen_add_library(... ${call}) and nativegen-build ${option}")
    file(SHA256 ${built} sum)
    list(APPEND blobs ${sum})
  endforeach()
  list(GET blobs 1 one)
  list(GET blobs 2 nineteen)
  if(one STREQUAL nineteen)
    message(FATAL_ERROR "COMPRESS 1 and COMPRESS 19 built one blob: the level is not honoured")
  endif()

elseif(CHECK STREQUAL "outputdir")
  install_package()
  file(COPY ${SOURCE}/examples/scripts/ DESTINATION ${WORK}/src/tree)
  file(WRITE ${WORK}/src/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)\nproject(rel LANGUAGES CXX)\n"
             "find_package(NativeGen CONFIG REQUIRED)\n"
             "nativegen_add_library(lib SCRIPT_ROOT tree OUTPUT_DIR made/lib)\n"
             "nativegen_add_header(hdr SCRIPT_ROOT tree OUTPUT_DIR made/hdr)\n"
             "add_custom_target(made ALL)\nadd_dependencies(made lib hdr_native_h)\n")
  tree_listing(${WORK}/src before)
  run(${CMAKE_COMMAND} -S ${WORK}/src -B ${WORK}/build -G Ninja -DCMAKE_PREFIX_PATH=${WORK}/package)
  run(${CMAKE_COMMAND} --build ${WORK}/build)
  tree_listing(${WORK}/src after)
  if(NOT before STREQUAL after)
    message(FATAL_ERROR "the sources gained files: ${after}")
  endif()
  # the blob is named by its content: lib.<hash>.bin
  file(GLOB blob ${WORK}/build/made/lib/lib.*.bin)
  foreach(made lib/lib.table.cpp hdr/native.h)
    if(NOT EXISTS ${WORK}/build/made/${made} OR NOT blob)
      message(FATAL_ERROR "made/${made} or the blob is not in the build directory")
    endif()
  endforeach()

elseif(CHECK STREQUAL "meson")
  find_program(MESON meson REQUIRED)
  install_package()
  file(COPY ${SOURCE}/examples/scripts/ DESTINATION ${WORK}/tree)
  run(${MESON} setup ${WORK}/build ${user}/meson -Dbuilder=${WORK}/package/bin/nativegen-build
      -Dscripts=${WORK}/tree -Dnativegen_include=${WORK}/package/include -Dcheck_source=${check_source})
  run(${MESON} compile -C ${WORK}/build)
  run(${WORK}/build/check ${WORK}/tree)
  # a script added to a folder the walk read is seen
  file(WRITE ${WORK}/tree/lib/added.js "// added\n")
  run(${MESON} compile -C ${WORK}/build)
  run(${WORK}/build/check ${WORK}/tree)

elseif(CHECK STREQUAL "snippets")
  install_package()
  set(package ${WORK}/package)
  set(env ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${package}/lib/pkgconfig)
  file(GLOB docs ${SOURCE}/docs/cmake.md ${SOURCE}/docs/command-line.md ${SOURCE}/docs/development.md
                 ${SOURCE}/docs/package-library.md
                 ${SOURCE}/docs/generator.md ${SOURCE}/docs/header.md ${SOURCE}/docs/performance.md)
  run(python3 ${SOURCE}/tests/snippets.py ${WORK}/blocks ${SOURCE}/README.md ${docs} OUTPUT written)
  string(REGEX REPLACE "\n$" "" written "${written}")
  string(REPLACE "\n" ";" written "${written}")
  # each row: a block | how it is built or run | the blocks beside it... A
  # project is the block (paths under /opt/nativegen made the installed
  # package's) with the example scripts in scripts/ and main.cpp beside it.
  set(rows
    "README.md.sh.1|prerequisites"
    "README.md.sh.2|ci"
    "README.md.sh.3|package-check"
    "README.md.sh.4|package-check"
    "README.md.cpp.1|main"
    "README.md.cpp.2|main"
    "README.md.cmake.1|cmake|README.md.cpp.1"
    "README.md.cmake.2|cmake|README.md.cpp.1"
    "README.md.cmake.3|cmake|README.md.cpp.2"
    "README.md.make.1|make|README.md.cpp.2"
    "README.md.meson.1|meson|README.md.cpp.1"
    "README.md.sh.5|cross|README.md.cmake.1|README.md.cpp.1"
    "command-line.md.sh.1|sh|README.md.cpp.1"
    "development.md.sh.1|ci"
    "README.md.cpp.3|main"
    "README.md.cmake.4|package|README.md.cpp.3"
    "README.md.cpp.4|main"
    "README.md.cmake.5|tree|README.md.cpp.4")
  # A project in WORK/<dir>: the example scripts, and each block beside it
  # under the name it takes (`main.cpp`, `CMakeLists.txt`, ...).
  function(project_dir dir)
    file(COPY ${SOURCE}/examples/scripts DESTINATION ${WORK}/${dir})
    foreach(block ${ARGN})
      string(REGEX REPLACE "^.*\\.([a-z]+)\\.[0-9]+$" "\\1" language ${block})
      set(name_cpp main.cpp)
      set(name_cmake CMakeLists.txt)
      set(name_make Makefile)
      set(name_meson meson.build)
      file(READ ${WORK}/blocks/${block} text)
      string(REPLACE "/opt/nativegen" "${package}" text "${text}")
      file(WRITE ${WORK}/${dir}/${name_${language}} "${text}")
    endforeach()
  endfunction()
  # Fails unless the program at `app` runs and lists the module `name`.
  function(expect_lists what name)
    run(${ARGN} OUTPUT out)
    if(NOT out MATCHES "(^|\n)${name}: [0-9]+ bytes")
      message(FATAL_ERROR "${what}: ${ARGN} does not list ${name}:\n${out}")
    endif()
  endfunction()
  file(READ ${SOURCE}/.ci/run ci)
  file(READ ${SOURCE}/tests/package-check package_check)
  set(i 0)
  foreach(row IN LISTS rows)
    math(EXPR i "${i} + 1")
    string(REPLACE "|" ";" row "${row}")
    list(POP_FRONT row block how)
    list(REMOVE_ITEM written ${block})
    set(dir p${i})
    if(how STREQUAL "prerequisites")
      file(READ ${WORK}/blocks/${block} line)
      if(NOT line MATCHES "^apt-get install ([a-z0-9. +-]+)\n$")
        message(FATAL_ERROR "${block} is not one apt-get install line")
      endif()
      string(REPLACE " " ";" names "${CMAKE_MATCH_1}")
      foreach(name ${names})
        run(dpkg-query -W ${name})
      endforeach()
    elseif(how STREQUAL "ci")
      file(STRINGS ${WORK}/blocks/${block} lines REGEX "^cmake --workflow")
      foreach(line ${lines})
        string(REGEX REPLACE " *#.*" "" line "${line}")
        string(FIND "${ci}" "\n${line}\n" at)
        if(at EQUAL -1)
          message(FATAL_ERROR "${block}: .ci/run does not run \"${line}\"")
        endif()
      endforeach()
    elseif(how STREQUAL "package-check")
      string(FIND "${package_check}" "${block}" at)
      if(at EQUAL -1)
        message(FATAL_ERROR "${block}: tests/package-check does not run it")
      endif()
    elseif(how STREQUAL "cmake" OR how STREQUAL "package" OR how STREQUAL "tree")
      project_dir(${dir} ${block} ${row})
      if(how STREQUAL "package")  # what a package holds beside its scripts: each FILES glob takes a file
        file(WRITE ${WORK}/${dir}/scripts/package.json "{\"main\": \"main.js\"}\n")
        file(WRITE ${WORK}/${dir}/scripts/types/index.d.ts "export {};\n")
      endif()
      if(block STREQUAL "README.md.cmake.2")
        file(COPY ${SOURCE}/ DESTINATION ${WORK}/${dir}/third_party/nativegen PATTERN build EXCLUDE PATTERN .git EXCLUDE)
      endif()
      run(${CMAKE_COMMAND} -S ${WORK}/${dir} -B ${WORK}/${dir}/build -G Ninja -DCMAKE_PREFIX_PATH=${package}
          "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}")
      run(${CMAKE_COMMAND} --build ${WORK}/${dir}/build)
      set(name lib/fs)
      if(how STREQUAL "package")  # a file by its path
        set(name lib/fs[.]js)
      elseif(how STREQUAL "tree")  # a file resolved in a tree
        set(name /app/lib/fs[.]js)
      endif()
      expect_lists(${block} ${name} ${WORK}/${dir}/build/app)
    elseif(how STREQUAL "make")
      project_dir(${dir} ${block} ${row})
      run(${env} make -C ${WORK}/${dir})
      expect_lists(${block} lib/path ${WORK}/${dir}/app)
      # a script deleted, then one whose name no depfile holds, built twice
      file(REMOVE ${WORK}/${dir}/scripts/lib/path.js)
      run(${env} make -C ${WORK}/${dir})
      run(${WORK}/${dir}/app OUTPUT out)
      if(out MATCHES "lib/path")
        message(FATAL_ERROR "${block}: a deleted script stayed:\n${out}")
      endif()
      file(WRITE "${WORK}/${dir}/scripts/a&b.js" "// a name no depfile holds\n")
      run(${env} make -C ${WORK}/${dir})
      expect_lists(${block} "a&b" ${WORK}/${dir}/app)
      run(${env} make -C ${WORK}/${dir})
    elseif(how STREQUAL "meson")
      project_dir(${dir} ${block} ${row})
      run(${env} meson setup ${WORK}/${dir}/build ${WORK}/${dir})
      run(${env} meson compile -C ${WORK}/${dir}/build)
      expect_lists(${block} lib/fs ${WORK}/${dir}/build/app)
      file(WRITE ${WORK}/${dir}/scripts/lib/added.js "// added\n")
      run(${env} meson compile -C ${WORK}/${dir}/build)
      expect_lists(${block} lib/added ${WORK}/${dir}/build/app)
    elseif(how STREQUAL "cross" OR how STREQUAL "sh")
      project_dir(${dir} ${row})
      file(READ ${WORK}/blocks/${block} text)
      string(REPLACE "/opt/nativegen" "${package}" text "${text}")
      file(WRITE ${WORK}/${dir}/snippet.sh "${text}")
      run(${CMAKE_COMMAND} -E env PATH=${package}/bin:$ENV{PATH} sh -e snippet.sh WORKING_DIRECTORY ${WORK}/${dir}
          OUTPUT out)
      if(how STREQUAL "sh")
        expect_lists(${block} lib/fs ${WORK}/${dir}/app)
      elseif(NOT out MATCHES "(^|\n)lib/fs: [0-9]+ bytes")
        message(FATAL_ERROR "${block}: the Windows program does not list lib/fs:\n${out}")
      endif()
    elseif(NOT how STREQUAL "main")
      message(FATAL_ERROR "row ${i}: ${how} is no way to build a snippet")
    endif()
  endforeach()
  if(written)
    message(FATAL_ERROR "snippets no row builds: ${written}")
  endif()

else()
  message(FATAL_ERROR "unknown check ${CHECK}")
endif()
message(STATUS "${CHECK}: passed")
