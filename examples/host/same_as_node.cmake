# Runs SCRIPT with the host (the script and packages from its libraries)
# and with node (the script copied beside a node_modules that is the
# fetched packages' own). Both must exit with STATUS and write the same
# bytes to standard output, and with a STATUS other than 0 both must say
# ERROR (when given) on standard error.
#   cmake -DHOST=... -DNODE=... -DSCRIPTS=<folder> -DMODULES=<node_modules> -DWORK=<folder>
#         -DSCRIPT=name.js -DSTATUS=0 [-DERROR=text] -P same_as_node.cmake
foreach(var HOST NODE SCRIPTS MODULES SCRIPT WORK STATUS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "same_as_node.cmake: -D${var}= is missing")
  endif()
endforeach()
if(NOT IS_DIRECTORY "${MODULES}")
  message(FATAL_ERROR "same_as_node.cmake: ${MODULES} is not there: run tests/packages/fetch")
endif()

# node's side: /app and /node_modules as the host mounts them
set(root ${WORK}/${SCRIPT})
file(REMOVE_RECURSE ${root})
file(MAKE_DIRECTORY ${root})
file(COPY ${SCRIPTS}/ DESTINATION ${root}/app)
file(CREATE_LINK ${MODULES} ${root}/node_modules SYMBOLIC)

# the same time zone for both, for any local-time output
set(ENV{TZ} UTC)
execute_process(COMMAND ${HOST} ${SCRIPT} WORKING_DIRECTORY ${root}
                OUTPUT_VARIABLE host_out ERROR_VARIABLE host_err RESULT_VARIABLE host_status)
execute_process(COMMAND ${NODE} ${root}/app/${SCRIPT} WORKING_DIRECTORY ${root}
                OUTPUT_VARIABLE node_out ERROR_VARIABLE node_err RESULT_VARIABLE node_status)
foreach(side node host)
  if(NOT ${side}_status STREQUAL STATUS)
    message(FATAL_ERROR "${side} ${SCRIPT}: exit status ${${side}_status}, not ${STATUS}:\n${${side}_err}")
  endif()
  if(NOT STATUS EQUAL 0 AND NOT ERROR STREQUAL "")
    string(FIND "${${side}_err}" "${ERROR}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${side} ${SCRIPT}: standard error does not say \"${ERROR}\":\n${${side}_err}")
    endif()
  endif()
endforeach()
file(WRITE ${root}/host.out "${host_out}")
file(WRITE ${root}/node.out "${node_out}")
if(host_out STREQUAL "")
  message(FATAL_ERROR "${SCRIPT}: no output")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${root}/host.out ${root}/node.out RESULT_VARIABLE differ)
if(differ)
  execute_process(COMMAND diff ${root}/node.out ${root}/host.out OUTPUT_VARIABLE shown)
  message(FATAL_ERROR "${SCRIPT}: the host's output is not node's (< node, > host):\n${shown}")
endif()
string(LENGTH "${host_out}" size)
message(STATUS "${SCRIPT}: the same ${size} bytes from the host and node")
