# A whole run of the generator over a copy of a real tree under valgrind's
# memcheck: no memory errors and no definite or indirect leaks (the exit
# hook releases the globals).
#   cmake -DVALGRIND=... -DGENERATOR=... -DTREE=... -DWORK=... -P memcheck.cmake
file(REMOVE_RECURSE ${WORK})
file(COPY ${TREE}/ DESTINATION ${WORK}/tree)
file(COPY ${GENERATOR} DESTINATION ${WORK}/tree)
get_filename_component(name ${GENERATOR} NAME)
execute_process(
  COMMAND ${VALGRIND} --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect
          --show-leak-kinds=definite,indirect ${WORK}/tree/${name}
  WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE result
  ERROR_VARIABLE report)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "memcheck failed (${result}):\n${report}")
endif()
file(SIZE ${WORK}/native.h size)
if(size EQUAL 0)
  message(FATAL_ERROR "the run wrote an empty header")
endif()
message(STATUS "clean under memcheck; native.h has ${size} bytes")
