// What the tools' placed files take from each system, beside files.h:
// the steps platform/tools/files_placed.cpp builds a placed file from.
#pragma once

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>

namespace platform::system {

// The file a symbolic link at `target` names, links followed to the end;
// `target` itself when it is no link.
std::filesystem::path FollowLinks(const std::filesystem::path& target);

// May a new file stand in for `target`: is it missing, or a regular file
// this process may write? False, with `why`, otherwise.
bool Replaceable(const std::filesystem::path& target, std::string* why);

// Writes what `stream` holds through to the disk and gives its file the
// permission bits of `like`, when that is there. False, with `why`.
bool Settle(std::FILE* stream, const std::filesystem::path& like, std::string* why);

// This process's number, as the system counts them.
unsigned long ProcessNumber();

// The new files an interruption removes. Invariant: a slot whose `held` is
// set holds the name (RemovalName's) of a file of this process, written
// before `held` was set and left alone until it is cleared; the handler
// reads nothing else. The name is held whole, so no length is refused.
struct WatchedFile {
    std::atomic<bool> held{false};
    std::filesystem::path::string_type name;  // its c_str() is read by the handler while `held`
};
inline constexpr int kWatchedFiles = 8;
extern WatchedFile watchedFiles[kWatchedFiles];

// `path` as the handler removes it, whatever the working folder: absolute
// (on Windows behind "\\?\"); empty when it cannot be made so.
std::filesystem::path::string_type RemovalName(const std::filesystem::path& path);

// Puts the handler that removes the watched files in place, once.
void HookInterruption();

}  // namespace platform::system
