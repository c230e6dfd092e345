// Header mode: the generator's own header, written as the walk grows it.
#include <cstdio>
#include <system_error>

#include "generator/generator.h"
#include "platform/runtime/platform.h"
#include "platform/tools/files.h"
#include "tools/common/identifiers.h"
#include "tools/nativegen-build/cli/depfile.h"
#include "tools/nativegen-build/cli/steps.h"

namespace fs = std::filesystem;

namespace frontend {
namespace {

// The header, begun before the walk so that it is written as it grows: to
// a new file beside HEADER, or with identifiers to rewrite, to a scratch
// file beside it first. Whatever ends the run, Finish or Abandon leaves
// nothing of it behind but HEADER.
class HeaderOutput {
public:
    HeaderOutput(const fs::path& header, bool rewrite)
        : header_(header), rewrite_(rewrite),
          scratch_(header.parent_path() / FsPath(std::string(kProgram) + "." +
                                                 std::to_string(platform::ProcessNumber()))) {}
    ~HeaderOutput() { Abandon(); }

    // Starts the pending header. False, with `failure`, when it cannot be written.
    bool Begin(Failure* failure) {
        *failure = {Utf8(header_), ""};
        std::string name;
        if (!RuntimePath(rewrite_ ? scratch_ : header_, &name, &failure->why)) return false;
        if (!BeginHeader(name.c_str(), !rewrite_)) {
            failure->why = "cannot be written (read-only, no regular file, or in a directory that takes no new file)";
            return false;
        }
        begun_ = true;
        return true;
    }

    // Has the header (or its scratch file) met a write that failed so far?
    // Then it, not a file written after it, is the one to name.
    bool Failed(Failure* failure) {
        if (!HeaderWriteFailed()) return false;
        *failure = {Utf8(header_), "cannot be written (a full disk?)"};
        return true;
    }

    // Puts the header in place (its identifiers rewritten when asked);
    // `changed` is set when its content changed.
    bool Finish(Failure* failure, bool* changed) {
        begun_ = false;
        *failure = {Utf8(header_), "cannot be written (a full disk?)"};
        if (!EndHeader()) return false;
        if (!rewrite_) {
            *changed = HeaderChanged();
            return true;
        }
        std::string text, why;
        bool done = Rewritten(&text, &why);
        RemoveScratch();
        if (!done && !why.empty()) failure->why = "its identifiers cannot be rewritten: " + why;
        return done && PutIfChanged(header_, text, failure, changed);
    }

    // Drops the pending header and any scratch file: HEADER stays as it was.
    void Abandon() {
        if (begun_) AbandonHeader();
        begun_ = false;
        RemoveScratch();
    }

private:
    // The scratch header with its identifiers made valid, as text.
    bool Rewritten(std::string* text, std::string* why) {
        fs::path rewritten = scratch_;
        rewritten += ".safe";
        std::FILE* in = platform::OpenStreamForRead(scratch_);
        std::FILE* out = in ? platform::CreateNewStream(rewritten) : nullptr;
        bool done = in && out && identifiers::Rewrite(in, out, why);
        if (in) std::fclose(in);
        done = out && std::fclose(out) == 0 && done;
        std::FILE* back = done ? platform::OpenStreamForRead(rewritten) : nullptr;
        if (back) {
            char piece[64 * 1024];
            for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, back)) > 0;) text->append(piece, n);
            done = !std::ferror(back);
            std::fclose(back);
        }
        return done && back;
    }

    void RemoveScratch() {
        if (!rewrite_) return;
        std::error_code error;
        fs::remove(scratch_, error);
        fs::path rewritten = scratch_;
        fs::remove(rewritten += ".safe", error);
    }

    fs::path header_;
    bool rewrite_;
    fs::path scratch_;
    bool begun_ = false;
};

}  // namespace

// The run in header mode.
int RunHeader(const Options& options, const Tree& tree, Folders* made) {
    Failure failure;
    std::error_code error;
    fs::path header = fs::absolute(FsPath(options.output), error);
    if (!made->Make(header.parent_path(), &failure)) return Report(failure);
    HeaderOutput output(header, options.safeIdentifiers);
    if (!output.Begin(&failure)) return Report(failure);
    Collector collector(nullptr, 0);
    Walk(tree, &collector);
    // the depfile first: a run that fails on it leaves the header as it was
    std::string unnamed;
    bool changed = false;
    if (!ReportProblems(collector.Problems(), options.strict, header, &failure) || output.Failed(&failure) ||
        !WriteDepfile(options, collector.Inputs(), &unnamed, &failure) || !output.Finish(&failure, &changed)) {
        output.Abandon();
        return Report(failure);
    }
    Say(collector.Problems(), unnamed, changed);
    return 0;
}


}  // namespace frontend
