// nativegen-identifiers [--link] IN OUT: writes the generated header IN to
// OUT with every identifier made a valid and unique C and C++ identifier.
// OUT is written whole or not at all, and IN is never written or removed,
// whatever it is named. With --link, a header in which nothing changes is
// not copied: OUT becomes a hard link to IN where the file system allows,
// so the caller must replace IN, never write into it.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/tools/files.h"
#include "tools/common/identifiers.h"

namespace fs = std::filesystem;

namespace {

int Fail(const fs::path& file, const std::string& why) {
    std::fprintf(stderr, "nativegen-identifiers: %s: %s\n", platform::Utf8(file).c_str(), why.c_str());
    return 1;
}

// A new file beside `output` for the header to be written to: OUT.pending,
// or OUT.pending2, ... when that name is taken (by the input, say), never
// a file that was there before. Null when none can be made.
std::FILE* CreatePending(const fs::path& output, fs::path* pending) {
    std::FILE* out = nullptr;
    for (int n = 1; n <= 100 && !out; ++n) {
        *pending = output;
        *pending += ".pending" + (n > 1 ? std::to_string(n) : std::string());
        out = platform::CreateNewStream(*pending);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<fs::path> args = platform::ToolArguments(argc, argv);
    const char usage[] = "usage: nativegen-identifiers [--link] IN OUT\n       nativegen-identifiers --help | --version\n";
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "--version")) {
        std::fputs(args[0] == "--help" ? usage : "nativegen-identifiers " NATIVEGEN_VERSION "\n", stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    bool link = args.size() == 3 && args[0] == "--link";
    if (args.size() != 2 + (link ? 1 : 0)) {
        std::fputs(usage, stderr);
        return 2;
    }
    const fs::path& input = args[args.size() - 2];
    const fs::path& output = args.back();
    std::FILE* in = platform::OpenStreamForRead(input);
    if (!in) return Fail(input, "cannot be opened");
    std::string why;
    std::vector<identifiers::Edit> edits;
    if (!identifiers::Plan(in, &edits, &why)) {
        std::fclose(in);
        return Fail(input, why);
    }
    std::error_code error;
    /* nothing to change, and the output already is the input? nothing to write */
    if (edits.empty() && fs::equivalent(input, output, error)) {
        std::fclose(in);
        return 0;
    }
    // identifiers to change: the rewritten header is put in place whole
    if (!edits.empty()) {
        platform::PlacedFile placed;
        if (!placed.Open(output, false, &why)) {
            std::fclose(in);
            return Fail(output, why);
        }
        std::rewind(in);
        bool done = identifiers::Apply(in, placed.Stream(), edits);
        std::fclose(in);
        if (!done) return Fail(input, "a read or write failed");  // the new file goes with `placed`
        if (!placed.Commit(&why)) return Fail(output, why);
        return 0;
    }
    std::fclose(in);
    // nothing to change: a link (--link), or the system copies the file
    // whole, beside the output first and then moved over it
    fs::path pending;
    std::FILE* out = CreatePending(output, &pending);
    if (!out || std::fclose(out) != 0) return Fail(pending, "cannot be created");
    if (link) {
        fs::remove(pending, error);
        fs::create_hard_link(input, pending, error);
    }
    if (!link || error) {
        error.clear();
        fs::copy_file(input, pending, fs::copy_options::overwrite_existing, error);
    }
    if (error || !platform::MoveIntoPlace(pending, output, &why)) {
        std::error_code ignored;
        fs::remove(pending, ignored);  // the program's own file, never the input
        return Fail(error ? input : output, error ? "cannot be copied: " + error.message() : why);
    }
    return 0;
}
