// A small model of the header's two line formats, written apart from the
// generator so that the tests and the fuzz targets can check it.
#pragma once

#include <string>

namespace test {

inline std::string ReplaceAllOf(std::string text, const std::string& find, const std::string& by) {
    for (std::size_t at = 0; (at = text.find(find, at)) != std::string::npos; at += by.size())
        text.replace(at, find.size(), by);
    return text;
}

// The two lines of a script whose path below the program's directory is
// `relative` (backslashes) and whose content is `bytes`.
inline std::string Pair(const std::string& relative, const std::string& bytes) {
    std::string identifier = ReplaceAllOf(ReplaceAllOf(relative, "\\", "_"), ".js", "");
    std::string name = ReplaceAllOf(ReplaceAllOf(relative, "\\", "/"), ".js", "");
    std::string list;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        list += (i ? "," : "") + std::to_string(static_cast<unsigned char>(bytes[i]));
    return "const char " + identifier + "[] = {" + list + "};\r\n" + "node_native native_" + identifier + "{ \"" +
           name + "\", " + identifier + ", sizeof(" + identifier + ") };\r\n";
}

}  // namespace test
