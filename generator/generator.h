// The generator: walks the executable's directory tree for scripts and
// writes "native.h", one array line and one descriptor line per script.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "runtime/core/value.h"

// The header text produced and not yet written out. It leaves the process
// only as the content of "native.h", written in pieces as it grows.
extern TextValue OutputText;

// The directory entry in hand: a bare name while searching, the full path
// while it is emitted.
extern TextValue FoundEntry;

// The exit hook: releases OutputText and FoundEntry.
void ReleaseGlobals();

// Walks the executable's directory and writes "native.h" into the working
// directory. Always 0.
std::int32_t RunGenerator();

// The directory whose tree is walked and below which module names are
// counted: the executable's own unless the build front end named another.
// `root` has no trailing backslash; only its length is kept.
void SetWalkRoot(TextValue root);

// Who learns what a run did, beside the header: the build front end. The
// generator itself has none.
struct RunWatcher {
    // The walk is about to search `directory` (its trailing backslash
    // included).
    virtual void Listed(TextValue directory) = 0;
    // A script's two lines were made: its full path, its module name and
    // the bytes its array holds (`data` null when the braces are empty).
    virtual void Emitted(TextValue path, TextValue name, const unsigned char* data, std::size_t count) = 0;
    // Are the header's lines wanted? A watcher that takes only the bytes
    // (a library) spares the run formatting them; Emitted comes all the same.
    virtual bool WantsLines() const { return true; }
    // The folder `path` was not entered: it is the same folder as
    // `ancestor` (trailing backslash included), which is being walked.
    virtual void NotEntered(TextValue path, TextValue ancestor) = 0;

protected:
    ~RunWatcher() = default;
};

// The watcher of this run; null for the generator.
extern RunWatcher* Watcher;

// The program from start to end: runtime start-up, the exit hook (the
// generator's own unless another is given), the run, and the exit with
// code 0. Does not return.
[[noreturn]] void GeneratorMain(void (*exitHook)() = ReleaseGlobals);

// Visits `directory` and every directory below it, depth first, files
// before subdirectories (never one that is the same folder, by identity, as
// one on the path from the top call to it), handing each file that matches the pattern and
// meets the attribute mask to EmitEntry. A backslash is added to the
// caller's directory variable when it lacks one. Defaults when not given:
// the pattern "*.js" (stored in the caller's variable) and mask 39.
void WalkDirectory(TextValue& directory, TextValue& pattern, bool patternGiven, std::int32_t mask, bool maskGiven);

// Appends the array line and the descriptor line of the script at `path`
// (always FoundEntry) to OutputText; nothing for the executable itself.
void EmitEntry(TextValue& path);

// The file's bytes as unsigned decimals joined by ","; null when the file
// is empty or cannot be opened.
TextValue FormatByteList(TextValue& path);

// ---- The header, written as it grows ----------------------------------------
//
// "native.h" is written through a pending file: the pieces of OutputText
// go to a new file beside it, which is put in place whole at the end. An
// earlier "native.h" stays exactly as it was until then, and for good when
// the run ends early (the exit hook abandons the pending file). Where the
// header must be written in place (a link, a file with other links or
// another owner), OutputText holds all of it until the end instead.

// Starts the pending header `name` (relative names land in the working
// directory). With `onlyIfChanged`, a header that already holds exactly
// the new text is left untouched, its time included. 1 when it can be
// written; 0 when it is to be left alone or nothing can be written there.
std::int32_t BeginHeader(TextValue name = "native.h", bool onlyIfChanged = false);

// Where the header's pieces go, when a program puts the header in place
// itself: each flushed piece of OutputText is handed to `sink` with
// `context`, in order, and no pending file is begun. Null (the default):
// BeginHeader's pending file. The bytes are the same either way.
using HeaderSink = void (*)(void* context, const char* bytes, std::size_t size);
void SendHeaderTo(HeaderSink sink, void* context);

// Room for `extra` more bytes at the end of OutputText; answers where they go.
char* ReserveOutput(std::size_t extra);

// Takes `count` bytes written after the text into it.
void CommitOutput(std::size_t count);

// Appends the texts in order.
void AppendOutput(std::initializer_list<TextValue> parts);

// Writes OutputText out and empties it, once it has grown past the piece
// size, or whatever its size when `all` is set.
void FlushOutput(bool all);

// Writes the rest and puts "native.h" in place. 1 when it stands whole.
std::int32_t EndHeader();

// After EndHeader: did the header's content change? False only when it
// was begun with `onlyIfChanged` and held exactly the new text already.
bool HeaderChanged();

// Drops an unfinished header: an earlier "native.h" stays as it was.
void AbandonHeader();

// Has a piece of the pending header failed to be written (a full disk)?
// EndHeader will then answer 0.
bool HeaderWriteFailed();
