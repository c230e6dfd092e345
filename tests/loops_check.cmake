# Folders linked to an ancestor: the generator and the front end, on this
# build's system, over one tree with links made as each row says. A link
# to a folder on the path from the root is not entered (the front end
# names it in a warning, an error with --strict); any other link is.
#   cmake -DGENERATOR=... -DBUILDER=... [-DEMULATOR=...] [-DDRIVE=Z:] -DWORK=... -P loops_check.cmake
cmake_minimum_required(VERSION 3.25)

# One row: a name | link=target pairs | how many links a warning names |
# the scripts the header holds, in order, as relative path (with "/")=byte.
set(plain "top=84,s/x=88,t/y=89")
set(rows
    "no link||0|${plain}"
    "one link up|s/a=..|1|${plain}"
    "two links up|s/a=..,s/b=..|2|${plain}"
    "three links up|s/a=..,s/b=..,s/c=.|3|${plain}"
    "a link to a sibling|s/sib=../t|0|top=84,s/x=88,s/sib/y=89,t/y=89"
    "a sibling that links up|s/sib=../t,t/up=../s|2|top=84,s/x=88,s/sib/y=89,t/y=89,t/up/x=88")

get_filename_component(program ${GENERATOR} NAME)
set(failures "")
foreach(row IN LISTS rows)
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 what)
  list(GET row 1 links)
  list(GET row 2 named)
  list(GET row 3 scripts)
  string(REPLACE "," ";" links "${links}")
  string(REPLACE "," ";" scripts "${scripts}")
  file(REMOVE_RECURSE ${WORK})
  file(WRITE ${WORK}/tree/top.js "T")
  file(WRITE ${WORK}/tree/s/x.js "X")
  file(WRITE ${WORK}/tree/t/y.js "Y")
  file(MAKE_DIRECTORY ${WORK}/generator ${WORK}/front)
  set(expected "")
  foreach(script IN LISTS scripts)
    string(REPLACE "=" ";" script "${script}")
    list(GET script 0 relative)
    list(GET script 1 byte)
    string(REPLACE "/" "_" id "${relative}")
    string(APPEND expected "const char ${id}[] = {${byte}};\r\nnode_native native_${id}{ \"${relative}\", ${id}, sizeof(${id}) };\r\n")
  endforeach()
  foreach(link IN LISTS links)
    string(REPLACE "=" ";" link "${link}")
    list(GET link 0 name)
    list(GET link 1 target)
    file(CREATE_LINK ${target} ${WORK}/tree/${name} SYMBOLIC)
  endforeach()

  # compared byte for byte (file(READ) gives no CR)
  file(WRITE ${WORK}/expected.h "${expected}")
  file(SHA256 ${WORK}/expected.h want_hash)

  # the generator standing in the tree, and the front end from outside it
  file(COPY ${GENERATOR} DESTINATION ${WORK}/tree)
  execute_process(COMMAND ${EMULATOR} ${DRIVE}${WORK}/tree/${program} WORKING_DIRECTORY ${WORK}/generator
                  TIMEOUT 60 RESULT_VARIABLE code)
  file(REMOVE ${WORK}/tree/${program})
  file(READ ${WORK}/generator/native.h header)
  file(SHA256 ${WORK}/generator/native.h got)
  if(NOT code EQUAL 0 OR NOT got STREQUAL want_hash)
    string(APPEND failures "${what}: the generator ended with ${code} and wrote\n${header}\n")
  endif()
  foreach(strict "" --strict)
    execute_process(COMMAND ${EMULATOR} ${BUILDER} ${DRIVE}${WORK}/tree ${DRIVE}${WORK}/front/native.h ${strict}
                    TIMEOUT 60 RESULT_VARIABLE code ERROR_VARIABLE errors)
    string(REGEX MATCHALL ": the same folder as [^\n]*, which holds it: not entered" said "${errors}")
    list(LENGTH said count)
    set(want 0)
    if(strict AND named GREATER 0)
      set(want 1)
    endif()
    file(READ ${WORK}/front/native.h header)
    file(SHA256 ${WORK}/front/native.h got)
    if(NOT code EQUAL want OR NOT count EQUAL named OR NOT got STREQUAL want_hash)
      string(APPEND failures "${what} ${strict}: the front end ended with ${code}, named ${count} links in\n"
                             "${errors}and wrote\n${header}\n")
    endif()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
