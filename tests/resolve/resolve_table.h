// A table of node's answers (tests/resolve/oracle.mjs writes them) and how one of ours is held against one of its rows.
#pragma once

#include <nativegen/resolve.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

namespace resolve_table {

using json = nlohmann::ordered_json;

// One question and node's answers in each mode ({"path", "format"} or {"code"}).
struct row {
    std::string fixture, from, specifier;
    std::vector<std::string> conditions;
    json require, import;
};

inline std::vector<row> read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error(file + ": cannot be read");
    const json doc = json::parse(in);
    std::vector<row> rows;
    for (const json& r : doc.at("rows"))
        rows.push_back({r.value("fixture", ""), r.at("from"), r.at("specifier"), r.at("conditions"), r.at("require"),
                        r.at("import")});
    return rows;
}

// The specifier as the tree asks it: "${root}" is the tree's root.
inline std::string specifier(const row& r) {
    std::string s = r.specifier;
    for (std::size_t at; (at = s.find("${root}")) != std::string::npos;) s.erase(at, 7);
    return s;
}

// Node's answer and ours side by side; empty when they agree. Node 20
// gives an addon no format where its resolve hook reports one: ours says
// "addon" there.
inline std::string mismatch(const json& expected, const nativegen::resolution& got) {
    const std::string ours = got.ok() ? got.path + " " + nativegen::describe(got.format) : "code " + got.code;
    std::string theirs;
    if (expected.contains("code")) {
        theirs = "code " + (expected["code"].is_null() ? std::string("(none)") : expected["code"].get<std::string>());
    } else {
        const json& f = expected["format"];
        std::string format = f.is_null() ? "" : f.get<std::string>();
        const std::string path = expected["path"];
        if (format.empty() && got.format == nativegen::format::addon && path.size() > 5 &&
            path.compare(path.size() - 5, 5, ".node") == 0)
            format = "addon";
        theirs = path + " " + format;
    }
    return ours == theirs ? std::string() : "node: " + theirs + "; ours: " + ours + (got.ok() ? "" : " (" + got.message + ")");
}

}  // namespace resolve_table
