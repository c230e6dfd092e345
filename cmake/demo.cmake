# The demo: the generator over the example tree, then the example program
# that embeds the scripts lists them.
nativegen_add_header(nativegen_demo_scripts SCRIPT_ROOT ${PROJECT_SOURCE_DIR}/examples/scripts)

add_executable(nativegen_demo_consumer EXCLUDE_FROM_ALL examples/consumer/main.cpp)
target_link_libraries(nativegen_demo_consumer PRIVATE nativegen_demo_scripts NativeGen::node_native)

file(RELATIVE_PATH demo_header ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/nativegen-headers/nativegen_demo_scripts/native.h)
add_custom_target(nativegen_demo
  COMMAND ${CMAKE_COMMAND} -E echo "native.h: ${demo_header}"
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:nativegen_demo_consumer>
  DEPENDS nativegen_demo_consumer
  USES_TERMINAL
  VERBATIM)
