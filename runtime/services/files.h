// Files and the executable's own path.
//
// Paths are code page 936 texts, handed unchanged to the platform. None of
// these operations shows a message: an unopenable input yields null, an
// output that cannot be created or written yields 0, and the caller
// decides. Allocation failure inside them is fatal through AllocZeroed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/core/value.h"

// The directory of the running executable, without a trailing backslash
// (for an executable in a drive's root, the drive letter and colon). A new
// text; empty when the module path cannot be had.
TextValue ExeDirectory();

// The executable's file name without its directory; a new text.
TextValue ExeFileName();

// The bytes of the file whose path is in slot 1, as a new byte array; null
// when it cannot be opened as a regular file. An empty file gives a block
// of length 0. When fewer bytes arrive than the file's size said, the
// block's length is the count actually read: zeros never stand in for
// content.
ByteBlock ReadWholeFile(int count, const TypedArg& path);

// Creates or truncates the file named in slot 1 and writes the byte arrays
// of slots 2..count in order, each whole. 1 when the file was created and
// every write succeeded, else 0. Only the slots' pointers are read.
std::int32_t WriteFileParts(int count, const TypedArg* args);

// A file written in pieces and put in place whole. Where a new file put
// in the target's place cannot be told apart from writing the target (it
// is missing, or a plain file of this user's with one link), the pieces go
// to a new file beside it, which CommitPendingFile moves onto it in one
// step, giving it the old file's permission bits and group: until then,
// and for good after a failed write or an abandon, an earlier file stays
// exactly as it was. Everywhere else (a link to a file, a file with other
// links or another owner or a group a new file cannot take, a directory
// where no new file can be made) the target is written in place: the first
// write makes sure of room for itself, then goes over the old content from
// its start, and the commit ends the file there; so a caller that must
// leave it untouched on failure holds every piece until it commits
// (PendingFile::inPlace says so), and a target without room for them stays
// as it was. A target that could not be created over (read-only, hidden or
// system) or that is no regular file (a FIFO, a device) is left alone.
//
// An interruption of the process (Ctrl-C, SIGTERM, SIGHUP, a console
// event) removes every new file not yet put in place, then ends it.
//
// With onlyIfChanged (set after opening), a target that already holds
// exactly the new bytes is left as it is, its time included, so that a
// build sees nothing new; written in place, the content must then come in
// one write.
struct PendingFile {
    std::intptr_t handle = -1;   // the open file, -1 when none
    bool started = false;        // opened and not yet committed or abandoned
    bool inPlace = false;        // the target itself is written
    bool failed = false;         // a write failed: nothing will be put in place
    bool onlyIfChanged = false;  // leave a target that holds the same bytes
    bool unchanged = false;      // the target held them already (in place: from the first write; else after the commit)
    int watched = -1;            // the new file's place among those an interruption removes; -1: none
    char target[260] = {};
    char temporary[300] = {};
};

// Starts `file` for the target `name`. 1 when it can be written; 0 when
// the target is to be left alone or nothing can be written there.
std::int32_t OpenPendingFile(TextValue name, PendingFile* file);

// Appends `size` bytes; after a failure, does nothing more.
void WritePendingFile(PendingFile* file, const void* data, std::size_t size);

// Puts the file in place under its target name. 1 when all was written and
// it stands there whole; else 0, and (unless it was written in place) the
// target is as it was before. A move refused for a moment (a scanner
// holding the target) is tried again for about a second, then the content
// is copied into the target instead; no new file is ever left behind.
std::int32_t CommitPendingFile(PendingFile* file);

// Closes and removes an unfinished file; the target stays as it was. Does
// nothing for a file never opened or already committed.
void AbandonPendingFile(PendingFile* file);

// Puts the file `name` (a new file of this process, not yet in place)
// among those an interruption removes. Its place, for UnwatchFile; -1
// when every place is taken or the name cannot be readied.
int WatchFile(TextValue name);

// Takes the file at `place` (WatchFile's answer; -1 does nothing) off
// that list, once it is put in place or removed.
void UnwatchFile(int place);
