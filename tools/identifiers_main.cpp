// nativegen-identifiers IN OUT: writes the generated header IN to OUT with
// every identifier made a valid and unique C and C++ identifier. OUT is
// written whole or not at all.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "tools/identifiers.h"

namespace fs = std::filesystem;

namespace {

int Fail(const std::string& file, const std::string& why) {
    std::fprintf(stderr, "nativegen-identifiers: %s: %s\n", file.c_str(), why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: nativegen-identifiers IN OUT\n");
        return 2;
    }
    const std::string input = argv[1], output = argv[2];
    std::FILE* in = std::fopen(input.c_str(), "rb");
    if (!in) return Fail(input, "cannot be opened");
    const std::string pending = output + ".pending";
    std::FILE* out = std::fopen(pending.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return Fail(pending, "cannot be created");
    }
    std::string why;
    bool done = identifiers::Rewrite(in, out, &why);
    std::fclose(in);
    if (std::fclose(out) != 0 && done) {
        done = false;
        why = "a write failed";
    }
    std::error_code error;
    if (done) fs::rename(pending, output, error);
    if (!done || error) {
        fs::remove(pending, error);
        return Fail(done ? output : input, done ? "cannot be replaced" : why);
    }
    return 0;
}
