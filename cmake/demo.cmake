# The demo: the generator over the example tree, then the example program
# that embeds the scripts lists them.
include(${CMAKE_CURRENT_LIST_DIR}/NativeGen.cmake)

nativegen_header(demo_header
  GENERATOR nativegen
  SCRIPT_ROOT ${PROJECT_SOURCE_DIR}/examples/scripts
  OUTPUT_DIR ${PROJECT_BINARY_DIR}/demo)

add_executable(demo_consumer EXCLUDE_FROM_ALL examples/consumer/main.cpp ${demo_header})
target_include_directories(demo_consumer PRIVATE ${PROJECT_BINARY_DIR}/demo)
# bytes above 127 in a char brace list are narrowing in C++11 and later
target_compile_options(demo_consumer PRIVATE -Wno-narrowing)

add_custom_target(demo
  COMMAND ${CMAKE_COMMAND} -E echo "native.h: ${PROJECT_BINARY_DIR}/demo/native.h"
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:demo_consumer>
  DEPENDS demo_consumer
  USES_TERMINAL
  VERBATIM)
