// Directory search and the message pump.
#pragma once

#include <cstdint>

#include "runtime/core/value.h"

// A caller-owned slot holding the current search. 0 or kNoSearch: no
// search is open. A finished search stays in the slot until the next
// search or CloseFind.
using FindHandle = std::uintptr_t;
inline constexpr FindHandle kNoSearch = ~FindHandle{0};

// Yields the name (without directory) of the next entry that matches, as a
// new text, or null when no further entry matches. A non-empty pattern (a
// path with wildcards) starts a new search in the slot, closing the one it
// held; null or empty continues the slot's search. An entry matches when
// (its attributes AND mask) is non-zero, or, with maskOmitted set, when it
// is not a directory. "." and ".." come back like any other entry.
TextValue FindEntry(TextValue pattern, std::int32_t mask, bool maskOmitted, FindHandle* slot);

// Closes the search unless the slot value is 0 or kNoSearch.
void CloseFind(FindHandle handle);

// Dispatches the thread's pending window messages, stopping at a quit
// message, which stays waiting. Returns the last peek result.
std::int32_t PumpMessages();
