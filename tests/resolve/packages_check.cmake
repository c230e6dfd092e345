# Resolution over the fetched npm packages against node's table: fetches
# them (tests/packages/fetch; failing when it cannot), builds each as the
# front end's library in a project of its own, and runs the check over
# them and over their folder.
#
#   cmake -DSOURCE=<project source> -DWORK=<dir> -DBUILDER=<nativegen-build> -DTREE_LIBRARY=<libnativegen_tree.a>
#         -P tests/resolve/packages_check.cmake
execute_process(COMMAND ${SOURCE}/tests/packages/fetch OUTPUT_VARIABLE folder OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE fetched)
if(NOT fetched EQUAL 0 OR folder STREQUAL "")
  message(FATAL_ERROR "tests/packages/fetch could not fetch the npm packages")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE}/tests/resolve/packages -B ${WORK} -G Ninja
                        -DCMAKE_BUILD_TYPE=Release -DNATIVEGEN_SOURCE=${SOURCE} -DBUILDER=${BUILDER}
                        -DTREE_LIBRARY=${TREE_LIBRARY} -DPACKAGES=${folder}
                RESULT_VARIABLE configured)
if(NOT configured EQUAL 0)
  message(FATAL_ERROR "the packages' check project did not configure in ${WORK}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK} RESULT_VARIABLE built)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "the packages' check project did not build in ${WORK}")
endif()
execute_process(COMMAND ${WORK}/packages_check ${SOURCE}/tests/resolve/expected-packages.json ${folder}
                RESULT_VARIABLE checked)
if(NOT checked EQUAL 0)
  message(FATAL_ERROR "resolution over the packages in ${folder} differs from node's")
endif()
