// nativegen-identifiers [--link] IN OUT: writes the generated header IN to
// OUT with every identifier made a valid and unique C and C++ identifier.
// OUT is written whole or not at all. With --link, a header in which
// nothing changes is not copied: OUT becomes a hard link to IN where the
// file system allows, so the caller must replace IN, never write into it.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tools/identifiers.h"

namespace fs = std::filesystem;

namespace {

int Fail(const std::string& file, const std::string& why) {
    std::fprintf(stderr, "nativegen-identifiers: %s: %s\n", file.c_str(), why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    bool link = argc == 4 && std::string(argv[1]) == "--link";
    if (argc != 3 + (link ? 1 : 0)) {
        std::fprintf(stderr, "usage: nativegen-identifiers [--link] IN OUT\n");
        return 2;
    }
    const std::string input = argv[argc - 2], output = argv[argc - 1];
    std::FILE* in = std::fopen(input.c_str(), "rb");
    if (!in) return Fail(input, "cannot be opened");
    const std::string pending = output + ".pending";
    std::FILE* out = std::fopen(pending.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return Fail(pending, "cannot be created");
    }
    std::string why;
    std::vector<identifiers::Edit> edits;
    bool done = identifiers::Plan(in, &edits, &why);
    if (done && !edits.empty()) {
        std::rewind(in);
        done = identifiers::Apply(in, out, edits);
        if (!done) why = "a read or write failed";
    }
    std::fclose(in);
    if (std::fclose(out) != 0 && done) {
        done = false;
        why = "a write failed";
    }
    std::error_code error;
    /* nothing to change? a link, or the system copies the file whole */
    if (done && edits.empty()) {
        if (link) {
            fs::remove(pending, error);
            fs::create_hard_link(input, pending, error);
        }
        if (!link || error) fs::copy_file(input, pending, fs::copy_options::overwrite_existing, error);
    }
    if (done && !error) fs::rename(pending, output, error);
    if (!done || error) {
        fs::remove(pending, error);
        return Fail(done ? output : input, done ? "cannot be replaced" : why);
    }
    return 0;
}
