# The integration example from the outside: configure and build a copy of
# examples/ with the built generator, then add a script and remove one, each
# older than the header, and check that the header follows.
#   cmake -DSOURCE=<examples dir> -DWORK=<scratch dir> -DGENERATOR=<nativegen> -P integration_check.cmake
file(REMOVE_RECURSE ${WORK})
file(COPY ${SOURCE}/ DESTINATION ${WORK}/examples)
file(COPY ${SOURCE}/../cmake/NativeGen.cmake DESTINATION ${WORK}/cmake)

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    message(FATAL_ERROR "${ARGV} failed:\n${out}")
  endif()
endfunction()

function(expect_header has lacks)
  file(READ ${WORK}/build/generated/native.h header)
  foreach(name ${has})
    string(FIND "${header}" "native_${name}{" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "native.h lacks ${name}")
    endif()
  endforeach()
  foreach(name ${lacks})
    string(FIND "${header}" "native_${name}{" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "native.h still holds ${name}")
    endif()
  endforeach()
endfunction()

run(${CMAKE_COMMAND} -S ${WORK}/examples -B ${WORK}/build -G Ninja -DNATIVEGEN_PROGRAM=${GENERATOR})
run(${CMAKE_COMMAND} --build ${WORK}/build)
expect_header("app;lib_fs" "added")

# a script added, its time older than the header's
file(WRITE ${WORK}/examples/scripts/added.js "// added\n")
run(touch -d "2001-01-01" ${WORK}/examples/scripts/added.js)
run(${CMAKE_COMMAND} --build ${WORK}/build)
expect_header("app;added" "")

# a script removed
file(REMOVE ${WORK}/examples/scripts/lib/path.js)
run(${CMAKE_COMMAND} --build ${WORK}/build)
expect_header("added" "lib_path")
run(${WORK}/build/app)
message(STATUS "the header followed every change")
