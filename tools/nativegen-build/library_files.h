// A library's files in its output folder: the entries' bytes gathered
// into one blob, and the writes that put the sources (library_sources.h)
// in place so that the set holds together whenever a run stops.
//
// What holds at every moment, whatever write a run stops after (a full
// disk, a signal):
//   - the data source names a blob that is there, with the bytes its
//     hash says: a blob is written under a name of its content before any
//     source names it, and an old one is removed only after the data
//     source names the new one;
//   - a table links only with the data source written for the same
//     entries (the blob's symbol carries their names and places), so a
//     table and a data source of two runs fail to link rather than read
//     the wrong bytes, and the next run completes the set;
//   - a file whose content did not change is not written, its time kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/nativegen-build/library_sources.h"
#include "tools/nativegen-build/outputs.h"

namespace library {

// One entry of a library: its name as the table writes it, and where its
// bytes come from.
struct Entry {
    std::string name;
    std::filesystem::path file;  // read whole when not empty
    std::string bytes;           // the bytes themselves otherwise
    std::uint64_t size = 0;      // WriteStreamed: the file's length when it was walked
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
    bool package = false;  // names are paths, and the header has list()
};

// One write: a file put in place whole (only when its content changed),
// or an old file removed.
struct Write {
    std::filesystem::path path;
    std::string content;
    bool remove = false;
};

// Every entry's bytes back to back in `blob`, and each one's name and
// place in `scripts`, in the entries' order. Takes the held bytes out of
// `entries` as it goes, so they are held once. False, with `failure`
// naming the file, when a file cannot be read whole.
bool Gather(std::vector<Entry>& entries, std::vector<Script>* scripts, std::string* blob,
            frontend::Failure* failure);

// The writes that make the library, in the order they must happen: the
// blob, the table, the data source, the consumer header, then the removal
// of every blob of this library in `present` (the names in the folder)
// that the data source no longer names. The caller owns the result.
std::vector<Write> Writes(const Request& request, const std::vector<Script>& scripts, std::string blob,
                          const std::vector<std::string>& present);

// Makes the first `count` writes, in order. False, with `failure` naming
// the file, at the first that cannot be made; the ones before it stand.
bool Perform(const std::vector<Write>& writes, std::size_t count, frontend::Failure* failure);

// The names of the entries of `folder` (UTF-8); empty when it cannot be
// listed.
std::vector<std::string> Present(const std::filesystem::path& folder);

// All of it: gather, plan, perform.
bool WriteLibrary(const Request& request, std::vector<Entry>& entries, frontend::Failure* failure);

// The same for entries that are files of known sizes, in the table's
// order, whose bytes go from each file to the blob (Incbin: a scratch
// file put in place under its content's name; Msvc: the C literal data)
// a piece at a time, never held: the blob first, then the writes Writes
// makes after it. False, with `failure` naming the file, when a file
// cannot be read, or is no longer as long as it was: the scratch file is
// gone then, and what stood before stands.
bool WriteStreamed(const Request& request, const std::vector<Entry>& entries, frontend::Failure* failure);

}  // namespace library
