// What the tools' placed files take from each system, beside files.h:
// the steps platform/tools/files_placed.cpp builds a placed file from.
#pragma once

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

}  // namespace platform::system
