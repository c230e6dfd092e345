// A package.json read from its bytes into the fields resolution reads.
#include "package_json.h"

#include <nlohmann/json.hpp>

namespace nativegen::detail {

namespace {

using json = nlohmann::ordered_json;

// How deep "exports" and "imports" may nest: the reading and resolution
// both recurse once a level, and no package nests more than a few, so a
// deeper one is refused rather than let it exhaust a thread's stack.
constexpr int kDeepest = 256;

struct too_deep {};

class flattener {
public:
    explicit flattener(package_json& p) : p_(p) {}

    // Appends `v` and, after it, what it holds; returns its index.
    int add(const json& v) {
        const int at = static_cast<int>(p_.values.size());
        p_.values.push_back({});
        fill(at, v, 1);
        return at;
    }

private:
    name text(const std::string& s) {
        const std::string& kept = p_.texts.emplace_back(s);
        return {kept.data(), kept.size()};
    }

    // Sets values[at] from `v`; a container's items take the next free
    // run of places, so each container's items lie side by side.
    void fill(std::size_t at, const json& v, int depth) {
        if (depth > kDeepest) throw too_deep{};
        value out{other_value, {nullptr, 0}, 0, 0};
        if (v.is_null()) {
            out.type = null_value;
        } else if (v.is_string()) {
            out.type = string_value;
            out.text = text(v.get_ref<const std::string&>());
        } else if (v.is_array() || v.is_object()) {
            const bool object = v.is_object();
            out.type = object ? object_value : array_value;
            out.first = static_cast<unsigned>(p_.values.size());
            out.count = static_cast<unsigned>(object ? 2 * v.size() : v.size());
            p_.values.resize(p_.values.size() + out.count);
            std::size_t k = out.first;
            if (object) {
                for (auto it = v.begin(); it != v.end(); ++it) {
                    p_.values[k++] = {string_value, text(it.key()), 0, 0};
                    fill(k++, it.value(), depth + 1);
                }
            } else {
                for (const json& item : v) fill(k++, item, depth + 1);
            }
        }
        p_.values[at] = out;
    }

    package_json& p_;
};

}  // namespace

package package_json::view() const noexcept {
    auto named = [](bool has, const std::string& s) { return has ? name{s.data(), s.size()} : name{nullptr, 0}; };
    return {{folder.data(), folder.size()}, valid, type, named(has_name, package_name), named(has_main, main),
            exports, imports, values.data()};
}

package_json read_package_json(std::string folder, std::string_view bytes) {
    package_json p;
    p.folder = std::move(folder);
    json doc;
    try {
        doc = json::parse(bytes.begin(), bytes.end());
    } catch (const json::exception& e) {
        p.error = e.what();
        return p;
    }
    p.valid = true;
    if (!doc.is_object()) return p;
    flattener flat(p);
    if (auto it = doc.find("name"); it != doc.end() && it->is_string()) {
        p.has_name = true;
        p.package_name = it->get<std::string>();
    }
    if (auto it = doc.find("main"); it != doc.end() && it->is_string()) {
        p.has_main = true;
        p.main = it->get<std::string>();
    }
    if (auto it = doc.find("type"); it != doc.end() && it->is_string()) {
        const std::string& t = it->get_ref<const std::string&>();
        p.type = t == "module" ? type_module : t == "commonjs" ? type_commonjs : type_none;
    }
    try {
        if (auto it = doc.find("exports"); it != doc.end()) p.exports = flat.add(*it);
        if (auto it = doc.find("imports"); it != doc.end()) p.imports = flat.add(*it);
    } catch (const too_deep&) {
        package_json refused;
        refused.folder = std::move(p.folder);
        refused.error = "\"exports\" or \"imports\" nested deeper than " + std::to_string(kDeepest) + " levels";
        return refused;
    }
    return p;
}

}  // namespace nativegen::detail
