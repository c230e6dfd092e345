// What the Windows layer's files share: code page 936 texts made wide for
// the wide entry points, and back.
#pragma once

#include <cstddef>
#include <string>

#include <windows.h>

namespace platform::win32 {

// The program's own code page.
inline constexpr UINT kCodePage = 936;

// A path of this many bytes or more cannot be opened or searched (MAX_PATH,
// terminator included), counted in code page 936 as the ANSI entry points
// count it.
inline constexpr std::size_t kMaxPath = 260;

// `length` bytes of code page 936 text as UTF-16.
std::wstring Widen(const char* text, int length);
std::wstring Widen(const char* text);

// UTF-16 text in the code page `codePage`; what it cannot hold becomes "?".
// No best fit: a name read back must never stand for another file (É made
// é would open é's file), and the Linux build gives "?" too.
std::string Narrow(const wchar_t* wide, int length, UINT codePage = kCodePage);
std::string Narrow(const wchar_t* wide);

// The wide form of a path the ANSI entry points would take; false for one
// they refuse (too long, or a wildcard in it; `pattern` allows wildcards
// in the last part alone).
bool WidePath(const char* path, std::wstring* out, bool pattern = false);

// Code page 936 to UTF-8, for the report on standard error.
std::string Cp936ToUtf8(const char* text);

}  // namespace platform::win32
