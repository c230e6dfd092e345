// What the programs beside the generator need from the system: their
// arguments as paths and files opened by path, whatever a path holds.
// One file under platform/win32 and one under platform/posix, chosen by
// CMake like the generator's own layer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The program's arguments after its name, as the system hands them over:
// bytes on Linux, UTF-16 on Windows (never the system's code page), so a
// name in any script arrives whole. A new vector, the caller's.
std::vector<std::filesystem::path> ToolArguments(int argc, char** argv);

// Opens the file at `path` for reading as bytes; null when it cannot be
// opened. The caller closes the stream.
std::FILE* OpenStreamForRead(const std::filesystem::path& path);

// Creates a file at `path` for writing as bytes only when nothing of that
// name exists; null otherwise (an existing file is never touched). The
// caller closes the stream.
std::FILE* CreateNewStream(const std::filesystem::path& path);

// What a path leads to, links followed.
enum class FileKind { Missing, Regular, Directory, Other };

struct FileFacts {
    FileKind kind = FileKind::Missing;
    std::uint64_t size = 0;    // a regular file's length
    std::uint64_t volume = 0;  // with `index`, the same pair for the same file or folder
    std::uint64_t index = 0;   // however it is reached
    std::int64_t modified = 0; // when its content last changed, in the system's own units
    bool tooLong = false;      // QueryFile: refused because the path is longer than the system takes
};

// Asks the system what `path` is, links followed, without opening a file
// that could make it wait (a FIFO). A path that leads nowhere (a link to
// nothing) is Missing. False when the system refuses to say (`tooLong`
// set when that is for the path's length).
bool QueryFile(const std::filesystem::path& path, FileFacts* facts);

// The names in the directory `dir`, "." and ".." left out, in the order
// the system gives them, into `names` (the caller's). On Linux the bytes
// the file system holds; on Windows the UTF-16 names made UTF-8, a lone
// surrogate as its three bytes (so never valid UTF-8). Paths of any
// length. False when it cannot be listed.
bool ListDirectory(const std::filesystem::path& dir, std::vector<std::string>* names);

// Opens `path` for reading as bytes when it is a regular file, never
// waiting on one that is not (a FIFO's writer); paths of any length. Null
// otherwise. The caller closes the stream.
std::FILE* OpenRegularForRead(const std::filesystem::path& path);

// ---- Paths as UTF-8 ----------------------------------------------------------

// A path as UTF-8: on Linux its bytes as they are; on Windows its UTF-16
// made UTF-8, a lone surrogate as its own three bytes (which no valid
// UTF-8 holds), so that FsPath gives the same path back. Every name the
// tools show or compare is made by this one rule.
std::string Utf8(const std::filesystem::path& path);

// The path Utf8 gave `utf8` as, back.
std::filesystem::path FsPath(std::string_view utf8);

// ---- Files put in place whole -----------------------------------------------
//
// A file is written to a new file beside its target (in the same folder;
// for a target that is a symbolic link, beside the file the link names,
// the link kept), flushed to the disk, given the old file's permission
// bits, then moved over the target in one step. Until then, and for good
// when a write fails or the run stops, the target is exactly as it was;
// the new file is removed on any failure and by an interruption of the
// process (Ctrl-C, SIGTERM, SIGHUP; a console event on Windows). Paths of
// any length and any script. A target that is read-only or no regular
// file is left alone.

// A file written as its pieces come and put in place by Commit. Owns its
// new file until Commit or Abandon; going away abandons it.
class PlacedFile {
public:
    PlacedFile() = default;
    PlacedFile(const PlacedFile&) = delete;
    PlacedFile& operator=(const PlacedFile&) = delete;
    ~PlacedFile() { Abandon(); }

    // Makes the new file for `target`. With `onlyIfChanged`, a target that
    // holds exactly the new bytes at Commit is left as it is, its time
    // kept. False, with `why` naming the call that failed, when it cannot.
    bool Open(const std::filesystem::path& target, bool onlyIfChanged, std::string* why);
    // Appends `bytes`; a write that fails shows in Failed and Commit.
    void Append(std::string_view bytes);
    // The stream the pieces go to, for a writer that takes one (the
    // PlacedFile keeps it); null when not open.
    std::FILE* Stream() const { return stream_; }
    // Has a write failed so far?
    bool Failed() const { return stream_ && std::ferror(stream_); }
    // Puts the file in place. False, with `why`, when a write, the flush
    // or the move failed: the target is then as it was and the new file
    // gone. `changed`, when given, says whether the target's content changed.
    bool Commit(std::string* why, bool* changed = nullptr);
    // Drops the new file; the target stays as it was. Nothing when not open.
    void Abandon();

private:
    std::filesystem::path target_;     // the file the bytes will stand at (a link followed)
    std::filesystem::path temporary_;  // the new file beside it; empty when none
    std::FILE* stream_ = nullptr;
    bool onlyIfChanged_ = false;
    int watched_ = -1;  // its place among the files an interruption removes (WatchNewFile)
};

// Puts `content` at `target` whole, as PlacedFile does. False, with `why`.
bool PutFile(const std::filesystem::path& target, std::string_view content, bool onlyIfChanged, std::string* why,
             bool* changed = nullptr);

// Moves the file `from` over `to` in one step (the same folder; `to`
// replaced if it is there), tried again for about a second while another
// program holds `to` (a scanner). False, with `why`, when it cannot.
bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to, std::string* why);

// Removes the file `path`; true when it is gone or was never there.
bool RemoveFile(const std::filesystem::path& path);

// Puts the new file `path` of this process among those an interruption
// removes (paths of any length). Its place, for UnwatchNewFile; -1 when
// every place is taken.
int WatchNewFile(const std::filesystem::path& path);

// Takes the file at `place` off that list (-1 does nothing), once it is
// put in place or removed.
void UnwatchNewFile(int place);

}  // namespace platform
