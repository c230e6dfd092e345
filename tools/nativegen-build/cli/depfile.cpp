#include "tools/nativegen-build/cli/depfile.h"

#include <cctype>
#include <cstring>
#include <system_error>

namespace fs = std::filesystem;

namespace frontend {
namespace {

// Can Ninja, and Make, read `path` back from a depfile? Besides what
// DepfileName escapes, their file names hold only these bytes, and a name
// may not end in ":". ("=" and "%" would make Make read a name's empty
// rule as a variable or a pattern rule.)
bool Nameable(std::string_view path) {
    if (!path.empty() && path.back() == ':') return false;  // read as the end of a target, escaped or not
    for (unsigned char c : path)
        if (c < 0x80 && !std::isalnum(c) && !std::strchr(" #$!()+,-./:@[]_{}~", c)) return false;
    return true;
}

}  // namespace

std::string DepfilePath(const fs::path& path) { return Utf8(path.generic_u8string()); }

std::string DepfileName(std::string_view path) {
    std::string name;
    for (char c : path) {
        if (c == '$') name += '$';
        else if (c == ' ' || c == '#' || c == ':') name += '\\';
        name += c;
    }
    return name;
}

std::string DepfileText(const std::string& target, const std::set<std::string>& inputs, const std::string& depfile,
                        std::string* unnamed) {
    std::string text = DepfileName(target) + ":", rules;
    auto list = [&](const std::string& name) {
        text += " \\\n  " + name;
        rules += "\n" + name + ":\n";
    };
    for (const std::string& input : inputs) {
        if (Nameable(input))
            list(DepfileName(input));
        else if (unnamed->empty())
            *unnamed = input;
    }
    if (!unnamed->empty()) list(DepfileName(depfile + ".always"));
    return text + "\n" + rules;
}


bool WriteDepfile(const Options& options, const std::set<std::string>& inputs, std::string* unnamed,
                  Failure* failure) {
    if (options.depfile.empty()) return true;
    std::error_code error;
    fs::path depfile = fs::absolute(FsPath(options.depfile), error);
    // the depfile names what the rule makes as the build system named it
    fs::path made = FsPath(options.depfileTarget.empty() ? options.output : options.depfileTarget);
    return PutIfChanged(depfile, DepfileText(DepfilePath(made), inputs, DepfilePath(depfile), unnamed), failure);
}

}  // namespace frontend
