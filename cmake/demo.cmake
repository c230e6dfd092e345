# The demo: the example tree as a script library, then the example program
# that links it lists the scripts. The library takes the example project's
# name, app_scripts, so the program's source is the same in both.
nativegen_add_library(app_scripts SCRIPT_ROOT ${PROJECT_SOURCE_DIR}/examples/scripts)

add_executable(nativegen_demo_consumer EXCLUDE_FROM_ALL examples/consumer/main.cpp)
target_link_libraries(nativegen_demo_consumer PRIVATE app_scripts)

file(RELATIVE_PATH demo_header ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/nativegen-libraries/app_scripts/app_scripts.h)
add_custom_target(nativegen_demo
  COMMAND ${CMAKE_COMMAND} -E echo "app_scripts.h: ${demo_header}"
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:nativegen_demo_consumer>
  DEPENDS nativegen_demo_consumer
  USES_TERMINAL
  VERBATIM)
