// package.json as node's resolution reads it: "exports", "imports", their patterns and targets.
#include <cctype>
#include <charconv>
#include <cstdlib>

#include "resolve_steps.h"

namespace nativegen::detail {

namespace {

std::string_view text(const value& v) { return {v.text.text, v.text.size}; }

// JSON.stringify of a target, for messages.
std::string describe_target(const package& p, const value& v) {
    switch (v.type) {
    case null_value: return "null";
    case string_value: return "\"" + std::string(text(v)) + "\"";
    case array_value: {
        std::string out = "[";
        for (unsigned i = 0; i < v.count; ++i) out += (i ? "," : "") + describe_target(p, p.values[v.first + i]);
        return out + "]";
    }
    case object_value: {
        std::string out = "{";
        for (unsigned i = 0; i < v.count; i += 2)
            out += (i ? ",\"" : "\"") + std::string(text(p.values[v.first + i])) + "\":" +
                   describe_target(p, p.values[v.first + i + 1]);
        return out + "}";
    }
    default: return "a number or boolean";
    }
}

// Whether `key` is a JavaScript array index as node's isArrayIndex takes
// one: the canonical text of a number in [0, 2^32 - 1).
bool array_index(std::string_view key) {
    if (key.empty() || key.size() > 64) return false;
    const std::string copy(key);
    char* end = nullptr;
    const double n = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !(n >= 0) || n >= 4294967295.0) return false;
    // the shortest round-trip digits, laid out as JavaScript writes a number
    char digits[40];
    const auto r = std::to_chars(digits, digits + sizeof digits, n, std::chars_format::scientific);
    std::string_view sci(digits, static_cast<std::size_t>(r.ptr - digits));
    const std::size_t e = sci.find('e');
    std::string mantissa;
    for (char c : sci.substr(0, e))
        if (c != '.') mantissa += c;
    const int exponent = std::atoi(std::string(sci.substr(e + 1)).c_str()) + 1;  // 10^(exponent-1) <= n
    const int k = static_cast<int>(mantissa.size());
    std::string js;
    if (n == 0) {
        js = "0";
    } else if (k <= exponent && exponent <= 21) {
        js = mantissa + std::string(static_cast<std::size_t>(exponent - k), '0');
    } else if (0 < exponent && exponent <= 21) {
        js = mantissa.substr(0, static_cast<std::size_t>(exponent)) + "." +
             mantissa.substr(static_cast<std::size_t>(exponent));
    } else if (-6 < exponent && exponent <= 0) {
        js = "0." + std::string(static_cast<std::size_t>(-exponent), '0') + mantissa;
    } else {
        const int shown = exponent - 1;
        js = mantissa.substr(0, 1) + (k > 1 ? "." + mantissa.substr(1) : "") + "e" + (shown < 0 ? "-" : "+") +
             std::to_string(std::abs(shown));
    }
    return js == key;
}

// Whether `text`, split at "/" and "\", has a segment node refuses in a
// target: ".", ".." or "node_modules", in any case, any byte of them
// percent-encoded. (An empty segment node only warns of.)
bool has_invalid_segment(std::string_view text) {
    auto folded = [](std::string_view part) {
        std::string out;
        for (std::size_t i = 0; i < part.size(); ++i) {
            char c = part[i];
            if (c == '%' && i + 2 < part.size() && std::isxdigit(static_cast<unsigned char>(part[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(part[i + 2]))) {
                c = static_cast<char>(std::stoi(std::string(part.substr(i + 1, 2)), nullptr, 16));
                i += 2;
            }
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return out;
    };
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find_first_of("/\\", at);
        const std::string part = folded(text.substr(at, end == std::string_view::npos ? end : end - at));
        if (part == "." || part == ".." || part == "node_modules") return true;
        if (end == std::string_view::npos) return false;
        at = end + 1;
    }
}

std::string replace_stars(std::string_view text, std::string_view with) {
    std::string out;
    for (char c : text) {
        if (c == '*')
            out += with;
        else
            out += c;
    }
    return out;
}

// PATTERN_KEY_COMPARE: 1 when `b` is the better match, -1 when `a` is.
int pattern_key_compare(std::string_view a, std::string_view b) {
    const std::size_t star_a = a.find('*'), star_b = b.find('*');
    const std::size_t base_a = star_a == std::string_view::npos ? a.size() : star_a + 1;
    const std::size_t base_b = star_b == std::string_view::npos ? b.size() : star_b + 1;
    if (base_a > base_b) return -1;
    if (base_b > base_a) return 1;
    if (star_a == std::string_view::npos) return 1;
    if (star_b == std::string_view::npos) return -1;
    if (a.size() > b.size()) return -1;
    if (b.size() > a.size()) return 1;
    return 0;
}

// What a target gives: nothing matched (undefined), null, or a URL.
struct target_result {
    enum { undefined, null, found } state = undefined;
    std::string url;
};

// PACKAGE_TARGET_RESOLVE over one package's targets for one matched key:
// what a target gives, or the failure node throws for it.
struct target_walk {
    const resolve_scope& s;
    const package& p;
    std::string folder;     // the package's folder, a tree path
    std::string json_url;   // its package.json's URL pathname
    std::string_view subpath;  // what the key's '*' stands for
    std::string_view match;    // the key matched
    bool pattern, internal;

    std::string config_path() const { return (folder == "/" ? "" : folder) + "/package.json"; }

    [[noreturn]] void invalid_target(const value& target) const {
        const std::string shown = describe_target(p, target);
        const bool rel = target.type == string_value && !internal && target.text.size > 0 &&
                         text(target).substr(0, 2) != "./";
        std::string where = match == "." ? "Invalid \"exports\" main target " + shown + " defined in the package config "
                                         : "Invalid \"" + std::string(internal ? "imports" : "exports") + "\" target " +
                                               shown + " defined for '" + std::string(match) +
                                               "' in the package config ";
        fail("ERR_INVALID_PACKAGE_TARGET", where + config_path() + " imported from " + std::string(s.asking) +
                                               (rel ? "; targets must start with \"./\"" : ""));
    }

    target_result resolve(const value& target) const {
        target_result out;
        if (target.type == string_value) {
            out.state = target_result::found;
            out.url = resolve_string(target);
        } else if (target.type == array_value) {
            if (target.count == 0) {
                out.state = target_result::null;
                return out;
            }
            // the last invalid target is thrown when no item resolves; a
            // null item clears it
            bool thrown = false, last_null = false;
            resolve_failure last;
            for (unsigned i = 0; i < target.count; ++i) {
                target_result r;
                try {
                    r = resolve(p.values[target.first + i]);
                } catch (const resolve_failure& f) {
                    if (f.code != "ERR_INVALID_PACKAGE_TARGET") throw;
                    last = f;
                    thrown = true;
                    last_null = false;
                    continue;
                }
                if (r.state == target_result::undefined) continue;
                if (r.state == target_result::null) {
                    thrown = false;
                    last_null = true;
                    continue;
                }
                return r;
            }
            if (thrown) throw last;
            out.state = last_null ? target_result::null : target_result::undefined;
        } else if (target.type == object_value) {
            for (unsigned i = 0; i < target.count; i += 2)
                if (array_index(text(p.values[target.first + i])))
                    fail("ERR_INVALID_PACKAGE_CONFIG", "Invalid package config " + config_path() + " while importing " +
                                                           std::string(s.asking) +
                                                           ". \"exports\" cannot contain numeric property keys.");
            for (unsigned i = 0; i < target.count; i += 2) {
                const std::string_view key = text(p.values[target.first + i]);
                bool taken = key == "default";
                for (const std::string& c : s.conditions) taken = taken || key == c;
                if (!taken) continue;
                target_result r = resolve(p.values[target.first + i + 1]);
                if (r.state == target_result::undefined) continue;
                return r;
            }
        } else if (target.type == null_value) {
            out.state = target_result::null;
        } else {
            invalid_target(target);
        }
        return out;
    }

    std::string resolve_string(const value& target) const {
        const std::string_view t = text(target);
        if (!subpath.empty() && !pattern && (t.empty() || t.back() != '/')) invalid_target(target);
        if (t.substr(0, 2) != "./") {
            if (internal && t.substr(0, 3) != "../" && t.substr(0, 1) != "/" && url_scheme(t).empty())
                return package_resolve(s, pattern ? replace_stars(t, subpath) : std::string(t) + std::string(subpath),
                                       json_url);
            invalid_target(target);
        }
        if (has_invalid_segment(t.substr(2))) invalid_target(target);
        const std::string resolved = url_join(t, json_url);
        const std::string package_url = json_url.substr(0, json_url.rfind('/') + 1);
        if (resolved.compare(0, package_url.size(), package_url) != 0) invalid_target(target);
        if (subpath.empty()) return resolved;
        if (has_invalid_segment(subpath)) {
            const std::string request = pattern ? replace_stars(match, subpath) : std::string(match) + std::string(subpath);
            fail("ERR_INVALID_MODULE_SPECIFIER",
                 "Invalid module \"" + request + "\" request is not a valid match in pattern \"" + std::string(match) +
                     "\" for the \"" + (internal ? "imports" : "exports") + "\" resolution of " + config_path() +
                     " imported from " + std::string(s.asking));
        }
        if (pattern) return url_join(replace_stars(resolved, subpath), "/");
        return url_join(subpath, resolved);
    }
};

// The member of the object `v` named `key`, or null.
const value* member(const package& p, const value& v, std::string_view key) {
    const value* found = nullptr;
    for (unsigned i = 0; i < v.count; i += 2)
        if (text(p.values[v.first + i]) == key) found = &p.values[v.first + i + 1];  // the last of repeats
    return found;
}

// The best pattern key of the object `v` for `name`, and what its '*'
// stands for; empty when none matches.
std::string_view best_pattern(const package& p, const value& v, std::string_view name, std::string& star) {
    std::string_view best;
    for (unsigned i = 0; i < v.count; i += 2) {
        const std::string_view key = text(p.values[v.first + i]);
        const std::size_t at = key.find('*');
        if (at == std::string_view::npos || name.substr(0, at) != key.substr(0, at)) continue;
        const std::string_view trailer = key.substr(at + 1);
        if (name.size() >= key.size() && name.substr(name.size() - trailer.size()) == trailer &&
            pattern_key_compare(best, key) == 1 && key.rfind('*') == at) {
            best = key;
            star = std::string(name.substr(at, name.size() - at - trailer.size()));
        }
    }
    return best;
}

}  // namespace

const package* read_package(const resolve_scope& s, std::string_view folder) {
    const package* p = s.files.package_at(folder);
    if (p && !p->valid)
        fail("ERR_INVALID_PACKAGE_CONFIG", "Invalid package config " + std::string(folder == "/" ? "" : folder) +
                                               "/package.json while importing \"" + std::string(s.specifier) +
                                               "\" from " + std::string(s.asking) + ".");
    return p;
}

std::string package_scope(const resolve_scope& s, std::string_view path) {
    std::string_view folder = path.substr(0, path.rfind('/'));
    for (;;) {
        if (folder.size() >= 12 && folder.compare(folder.size() - 12, 12, "node_modules") == 0) return {};
        const std::string_view at = folder.empty() ? std::string_view("/") : folder;
        if (read_package(s, at)) return std::string(at);
        if (folder.empty()) return {};
        folder = folder.substr(0, folder.rfind('/'));
    }
}

bool present(const package& p, int field) { return field >= 0 && p.values[field].type != null_value; }

std::string package_exports_resolve(const resolve_scope& s, std::string_view folder, const package& p,
                                    std::string_view subpath) {
    const std::string json_path = (folder == "/" ? "" : std::string(folder)) + "/package.json";
    target_walk walk{s, p, std::string(folder), url_from_path(json_path), {}, subpath, false, false};
    auto not_exported = [&]() {
        fail("ERR_PACKAGE_PATH_NOT_EXPORTED",
             subpath == "." ? "No \"exports\" main defined in " + json_path + " imported from " + std::string(s.asking)
                            : "Package subpath '" + std::string(subpath) + "' is not defined by \"exports\" in " +
                                  json_path + " imported from " + std::string(s.asking));
    };
    const value& exports = p.values[p.exports];
    // conditional sugar: a string, an array, or an object without "." keys
    bool sugar = exports.type == string_value || exports.type == array_value;
    if (exports.type == object_value) {
        for (unsigned i = 0; i < exports.count; i += 2) {
            const std::string_view key = text(p.values[exports.first + i]);
            const bool conditional = key.empty() || key[0] != '.';
            if (i == 0)
                sugar = conditional;
            else if (sugar != conditional)
                fail("ERR_INVALID_PACKAGE_CONFIG",
                     "Invalid package config " + json_path + " while importing " + std::string(s.asking) +
                         ". \"exports\" cannot contain some keys starting with '.' and some not. The exports object "
                         "must either be an object of package subpath keys or an object of main entry condition "
                         "name keys only.");
        }
    }
    const value* target = nullptr;
    if (sugar) {
        if (subpath != ".") not_exported();
        target = &exports;
    } else if (exports.type == object_value && subpath.find('*') == std::string_view::npos && subpath.back() != '/') {
        target = member(p, exports, subpath);
    }
    if (target) {
        const target_result r = walk.resolve(*target);
        if (r.state != target_result::found) not_exported();
        return r.url;
    }
    if (exports.type != object_value) not_exported();
    std::string star;
    const std::string_view best = best_pattern(p, exports, subpath, star);
    if (best.empty()) not_exported();
    walk.subpath = star;
    walk.match = best;
    walk.pattern = true;
    const target_result r = walk.resolve(*member(p, exports, best));
    if (r.state != target_result::found) not_exported();
    return r.url;
}

std::string package_imports_resolve(const resolve_scope& s, std::string_view name, std::string_view base) {
    const std::string asking = path_from_url(base);
    if (name == "#" || name.substr(0, 2) == "#/" || name.back() == '/')
        fail("ERR_INVALID_MODULE_SPECIFIER", "Invalid module \"" + std::string(name) +
                                                 "\" is not a valid internal imports specifier name imported from " +
                                                 std::string(s.asking));
    const std::string folder = package_scope(s, asking);
    const package* p = folder.empty() ? nullptr : read_package(s, folder);
    const std::string json_path = (folder == "/" ? "" : folder) + "/package.json";
    if (p && p->imports >= 0) {
        const value& imports = p->values[p->imports];
        target_walk walk{s, *p, folder, url_from_path(json_path), {}, name, false, true};
        const value* target = imports.type == object_value && name.find('*') == std::string_view::npos
                                  ? member(*p, imports, name)
                                  : nullptr;
        if (target) {
            const target_result r = walk.resolve(*target);
            if (r.state == target_result::found) return r.url;
        } else if (imports.type == object_value) {
            std::string star;
            const std::string_view best = best_pattern(*p, imports, name, star);
            if (!best.empty()) {
                walk.subpath = star;
                walk.match = best;
                walk.pattern = true;
                const target_result r = walk.resolve(*member(*p, imports, best));
                if (r.state == target_result::found) return r.url;
            }
        }
    }
    fail("ERR_PACKAGE_IMPORT_NOT_DEFINED", "Package import specifier \"" + std::string(name) + "\" is not defined" +
                                               (p ? " in package " + json_path : std::string()) + " imported from " +
                                               std::string(s.asking));
}

}  // namespace nativegen::detail
