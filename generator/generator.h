// The generator: walks the executable's directory tree for scripts and
// writes "native.h", one array line and one descriptor line per script.
#pragma once

#include <cstdint>

#include "runtime/core/value.h"

// The whole header text produced so far; grows during the walk and leaves
// the process only as the content of "native.h".
extern TextValue OutputText;

// The directory entry in hand: a bare name while searching, the full path
// while it is emitted.
extern TextValue FoundEntry;

// The exit hook: releases OutputText and FoundEntry.
void ReleaseGlobals();

// Walks the executable's directory and writes "native.h" into the working
// directory. Always 0.
std::int32_t RunGenerator();

// The program from start to end: runtime start-up, the exit hook, the run,
// and the exit with code 0. Does not return.
[[noreturn]] void GeneratorMain();

// Visits `directory` and every directory below it, depth first, files
// before subdirectories, handing each file that matches the pattern and
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

// The length of OutputText, kept beside it so appends need not measure it.
std::size_t OutputLength();
