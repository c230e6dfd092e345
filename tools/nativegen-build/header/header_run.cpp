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

// The header, begun before the walk so that it is written as it grows:
// the generator's pieces go to a placed file for HEADER, or with
// identifiers to rewrite, to a scratch file beside it first, rewritten
// into the placed file at the end. Whatever ends the run (an interruption
// included), Finish or Abandon leaves nothing of it behind but HEADER.
class HeaderOutput {
public:
    HeaderOutput(const fs::path& header, bool rewrite)
        : header_(header), rewrite_(rewrite),
          scratch_(header.parent_path() / FsPath(std::string(kProgram) + "." +
                                                 std::to_string(platform::ProcessNumber()))) {}
    ~HeaderOutput() { Abandon(); }

    // Starts the header and sends the generator's pieces to it. False,
    // with `failure`, when it cannot be written.
    bool Begin(Failure* failure) {
        *failure = {Utf8(header_), ""};
        if (!rewrite_ && !placed_.Open(header_, true, &failure->why)) return false;
        if (rewrite_) {
            scratchStream_ = platform::CreateNewStream(scratch_);
            if (!scratchStream_) {
                failure->why = "cannot be written: no scratch file can be made beside it";
                return false;
            }
            watched_ = platform::WatchNewFile(scratch_);
        }
        SendHeaderTo(&HeaderOutput::Take, this);
        return true;
    }

    // Has the header (or its scratch file) met a write that failed so far?
    // Then it, not a file written after it, is the one to name.
    bool Failed(Failure* failure) {
        if (!(rewrite_ ? scratchStream_ && std::ferror(scratchStream_) : placed_.Failed())) return false;
        *failure = {Utf8(header_), "cannot be written (a full disk?)"};
        return true;
    }

    // Puts the header in place (its identifiers rewritten when asked);
    // `changed` is set when its content changed.
    bool Finish(Failure* failure, bool* changed) {
        FlushOutput(true);
        SendHeaderTo(nullptr, nullptr);
        *failure = {Utf8(header_), "cannot be written (a full disk?)"};
        if (rewrite_) {
            bool written = !std::ferror(scratchStream_) && std::fclose(scratchStream_) == 0;
            scratchStream_ = nullptr;
            std::FILE* in = written ? platform::OpenStreamForRead(scratch_) : nullptr;
            std::string why;
            bool done = in && placed_.Open(header_, true, &failure->why) &&
                        identifiers::Rewrite(in, placed_.Stream(), &why);
            if (in) std::fclose(in);
            RemoveScratch();
            if (!done && !why.empty()) failure->why = "its identifiers cannot be rewritten: " + why;
            if (!done) return false;
        }
        return placed_.Commit(&failure->why, changed);
    }

    // Drops the header and any scratch file: HEADER stays as it was.
    void Abandon() {
        SendHeaderTo(nullptr, nullptr);
        placed_.Abandon();
        if (scratchStream_) std::fclose(scratchStream_);
        scratchStream_ = nullptr;
        RemoveScratch();
    }

private:
    // The generator's sink: one flushed piece of the header.
    static void Take(void* context, const char* bytes, std::size_t size) {
        auto* self = static_cast<HeaderOutput*>(context);
        if (!self->rewrite_) self->placed_.Append(std::string_view(bytes, size));
        else if (self->scratchStream_ && size > 0) std::fwrite(bytes, 1, size, self->scratchStream_);
    }

    void RemoveScratch() {
        if (!rewrite_) return;
        platform::RemoveFile(scratch_);
        platform::UnwatchNewFile(watched_);
        watched_ = -1;
    }

    fs::path header_;
    bool rewrite_;
    fs::path scratch_;
    platform::PlacedFile placed_;
    std::FILE* scratchStream_ = nullptr;  // the scratch file, open while the walk writes it (rewrite_)
    int watched_ = -1;             // the scratch file's place among those an interruption removes
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
