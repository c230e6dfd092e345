# The front end's library of each fetched package, for the projects that
# resolve over them (the packages test and the resolution bench).

# Makes a library of each package named after `variable` (found below
# ${PACKAGES}/node_modules, built by ${BUILDER}); writes `header`, which
# includes them all and maps each name to its library() as `variable`;
# sets `out` to the libraries' targets.
function(package_libraries out header variable)
  set(text "// The front end's library of each fetched package, by its name.\n#pragma once\n#include <map>\n#include <string>\n#include <nativegen/library.h>\n")
  set(map "")
  set(libraries "")
  foreach(name IN LISTS ARGN)
    string(MAKE_C_IDENTIFIER "package_${name}" library)
    nativegen_add_library(${library} SCRIPT_ROOT ${PACKAGES}/node_modules/${name} FILES "*" BUILDER ${BUILDER})
    string(APPEND text "#include \"${library}.h\"\n")
    string(APPEND map "    {\"${name}\", &${library}::library},\n")
    list(APPEND libraries ${library})
  endforeach()
  file(CONFIGURE OUTPUT ${header} CONTENT
       "${text}inline const std::map<std::string, const nativegen::library& (*)()> ${variable} = {\n${map}};\n")
  set(${out} ${libraries} PARENT_SCOPE)
endfunction()
