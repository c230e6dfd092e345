# Keeps the mirror of a script tree in step with the tree, and places the
# generator at its root, so that the generator runs over the mirror and
# never stands in the script tree itself.
#
#   cmake -DSCRIPT_ROOT=<tree> -DLISTING=<file of relative script paths>
#         -DSTAGE=<mirror> -DGENERATOR=<generator> -P NativeGenStage.cmake
#
# A script is a hard link where the file system allows (it follows the
# file as it changes in place), else a copy made again only when the
# script's content differs. What is no longer a script leaves the mirror.
cmake_minimum_required(VERSION 3.25)

foreach(name SCRIPT_ROOT LISTING STAGE GENERATOR)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "NativeGenStage.cmake: ${name} is not set")
  endif()
endforeach()

file(STRINGS "${LISTING}" scripts)
get_filename_component(generator_name "${GENERATOR}" NAME)
file(MAKE_DIRECTORY "${STAGE}")

# Puts `from` at `to`: a hard link made beside it and moved into place (so
# a failed link never costs the copy already there), or a copy when the
# content differs.
function(stage_file from to)
  set(fresh "${to}.staging")
  file(REMOVE "${fresh}")
  file(CREATE_LINK "${from}" "${fresh}" RESULT failed)
  if(failed)
    file(COPY_FILE "${from}" "${to}" ONLY_IF_DIFFERENT)
  else()
    file(RENAME "${fresh}" "${to}")
  endif()
endfunction()

# what is no longer a script goes (a variable per script: a lookup, not a
# scan of the list, so large trees stay quick)
foreach(relative IN LISTS scripts)
  set("script:${relative}" 1)
endforeach()
file(GLOB_RECURSE staged LIST_DIRECTORIES false RELATIVE "${STAGE}" "${STAGE}/*")
foreach(relative IN LISTS staged)
  if(NOT DEFINED "script:${relative}" AND NOT relative STREQUAL generator_name)
    file(REMOVE "${STAGE}/${relative}")
  endif()
endforeach()

foreach(relative IN LISTS scripts)
  if(NOT EXISTS "${SCRIPT_ROOT}/${relative}")
    message(FATAL_ERROR "NativeGenStage.cmake: ${SCRIPT_ROOT}/${relative} is listed but missing")
  endif()
  get_filename_component(directory "${STAGE}/${relative}" DIRECTORY)
  file(MAKE_DIRECTORY "${directory}")
  stage_file("${SCRIPT_ROOT}/${relative}" "${STAGE}/${relative}")
endforeach()
stage_file("${GENERATOR}" "${STAGE}/${generator_name}")
