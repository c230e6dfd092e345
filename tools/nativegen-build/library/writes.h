// A library's files in its output folder: the entries' bytes gathered
// into one blob, and the writes that put the sources (library_sources.h)
// in place so that the set holds together whenever a run stops.
//
// What holds at every moment, whatever write a run stops after (a full
// disk, a signal):
//   - the table (Incbin) names a blob that is there, with the bytes its
//     hash says: a blob is written under a name of its content before any
//     source names it, and an old one is removed only after the table
//     names the new one;
//   - a table links only with the data source (Msvc) written for the same
//     entries (the blob's symbol carries their names and places), so a
//     table and a data source of two runs fail to link rather than read
//     the wrong bytes, and the next run completes the set;
//   - a file whose content did not change is not written, its time kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <memory>

#include "tree/package_json.h"
#include "tools/nativegen-build/library/compress.h"
#include "tools/nativegen-build/library/sources.h"
#include "tools/nativegen-build/cli/outputs.h"

namespace library {

// One entry of a library: its name as the table writes it, and where its
// bytes come from.
struct Entry {
    std::string name;
    std::filesystem::path file;  // read whole when not empty
    std::string bytes;           // the bytes themselves otherwise
    std::uint64_t size = 0;      // a package's file: its length when it was walked
    std::int64_t modified = 0;   // a package's file: its time when it was walked (platform::FileFacts)
};

// A library to write: its name, namespace and data format, the folder its
// files go to (made already), and that folder as the assembler must name
// it (UTF-8, no trailing separator).
struct Request {
    std::string name;
    std::string nameSpace;
    DataFormat format;
    std::filesystem::path folder;
    std::string blobFolder;
    bool package = false;  // names are paths, entries in byte order of them
    int compress = 0;      // the zstd level each entry is compressed with; 0: none (compress.h)
    // a package: its package.json files as read (packages.h), in byte order
    // of their folders; and the root it was made from, for the table to
    // name when the library is read there (empty: none)
    std::vector<nativegen::detail::package_json> packages = {};
    std::string source = {};
};

// A library's blob written as its bytes come, to a scratch file beside
// the library's files (NAME.<process>.partial), so that no run holds it;
// removed when it goes unless FinishStreamed put it in place, and by an
// interruption of the process. A killed run's is removed by the next run
// that puts the library in place.
class ScratchBlob {
public:
    ScratchBlob() = default;
    ScratchBlob(const ScratchBlob&) = delete;
    ScratchBlob& operator=(const ScratchBlob&) = delete;
    ~ScratchBlob();

    // Makes the scratch file in `request.folder`. False, with `failure`, when it cannot.
    bool Open(const Request& request, frontend::Failure* failure);
    // Appends `bytes`; a write that fails shows in FinishStreamed.
    void Write(std::string_view bytes);
    // Appends one entry's whole `bytes`, as a zstd frame when the request
    // compresses and that saves a tenth, and says where they lie.
    Script Put(std::string name, std::string_view bytes);
    // Whether Put compresses (an entry must then come whole).
    bool Compressing() const { return compressor_ != nullptr; }
    // How many bytes were written.
    std::uint64_t Size() const { return size_; }
    // Has every byte so far reached the file? False, with `failure` naming
    // the blob, when one did not (a full disk): a run asks before it writes
    // anything else, so the error names the file that did not fit.
    bool Flushed(frontend::Failure* failure);

private:
    friend bool FinishStreamed(const Request&, const std::vector<Script>&, ScratchBlob&, std::string,
                               frontend::Failure*, bool*);
    std::FILE* stream_ = nullptr;
    std::filesystem::path path_;  // empty once placed or gone
    std::uint64_t size_ = 0;
    bool failed_ = false;
    int watched_ = -1;  // its place among the files an interruption removes (platform::WatchNewFile); -1: none
    std::unique_ptr<Compressor> compressor_;  // null: entries stored as they are
    std::string frame_;                       // Put's last frame, its room kept
};

// Puts a library whose blob stands whole in `blob` (the entries `scripts`
// back to back, in the table's order) in place, in this order: the
// blob under its content's name (Incbin; a blob of that name is that
// blob already) or the C literal data made from it as it is read again
// (Msvc), then the table, the header, and the removal of
// the library's other blobs. `hash` is BlobHash's over the blob, or empty
// to have the blob read again for it. False, with `failure` naming the
// file; what stood before a write that failed stands. `changed`, when
// given, is set when a file's content changed or one went.
bool FinishStreamed(const Request& request, const std::vector<Script>& scripts, ScratchBlob& blob, std::string hash,
                    frontend::Failure* failure, bool* changed = nullptr);

// Reads a package's file whole into `entry.bytes` and clears
// `entry.file`, so the library takes the bytes held. False, with
// `failure` naming the file, when it cannot be read or is not as the walk
// saw it (its length and time).
bool HoldFile(Entry& entry, frontend::Failure* failure);

// All of it, as the front end does it: each entry's bytes (held, or read
// from its file a piece at a time) go to a scratch blob as they come and
// are let go, then FinishStreamed. False, with `failure` naming the file,
// when a file cannot be read (or, for a package, its length or time after
// the read is not what the walk saw: it changed while it was read);
// nothing is written then. `changed` as for FinishStreamed.
bool WriteLibrary(const Request& request, std::vector<Entry>& entries, frontend::Failure* failure,
                  bool* changed = nullptr);

}  // namespace library
