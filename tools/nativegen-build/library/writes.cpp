#include "tools/nativegen-build/library/writes.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <system_error>

#include "platform/runtime/platform.h"
#include "platform/tools/files.h"
#include "tools/nativegen-build/library/blob.h"
#include "tools/nativegen-build/library/msvc_data.h"

namespace fs = std::filesystem;

namespace library {
namespace {

// One write: a file put in place whole (only when its content changed),
// or an old file removed.
struct Write {
    std::filesystem::path path;
    std::string content;
    bool remove = false;
};

// Is `file` a blob of the library `name`: NAME.bin (what earlier runs
// wrote) or NAME.<32 hex digits>.bin?
bool IsBlobOf(const std::string& file, const std::string& name) {
    if (file == name + ".bin") return true;
    std::size_t stem = name.size() + 1, digits = 32;
    if (file.size() != stem + digits + 4 || file.compare(0, stem, name + ".") != 0 ||
        file.compare(stem + digits, 4, ".bin") != 0)
        return false;
    for (std::size_t i = stem; i < stem + digits; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(file[i]))) return false;
    return true;
}

// The scratch blob's name for the library `name` in the process `number`.
std::string ScratchName(const std::string& name, unsigned long long number) {
    return name + "." + std::to_string(number) + ".partial";
}

// Is `file` the scratch blob of another run of the library `name`
// (NAME.<digits>.partial): one that was killed, as nothing else leaves it?
bool IsStaleScratch(const std::string& file, const std::string& name) {
    const std::string stem = name + ".", end = ".partial";
    if (file.size() <= stem.size() + end.size() || !file.starts_with(stem) || !file.ends_with(end) ||
        file == ScratchName(name, platform::ProcessNumber()))
        return false;
    for (std::size_t i = stem.size(); i < file.size() - end.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(file[i]))) return false;
    return true;
}

// Is the file at `path` one this program wrote for the library `name`:
// does it begin with the comment every source of it begins with ("//" in
// C++, "/*" in C)? A file of that name that someone else wrote is never
// taken for one.
bool OwnSource(const fs::path& path, const std::string& name) {
    const std::string banner = GeneratedMark(name);
    std::FILE* in = platform::OpenRegularForRead(path);
    if (!in) return false;
    std::string head(2 + banner.size(), '\0');
    bool own = std::fread(head.data(), 1, head.size(), in) == head.size() &&
               (head.starts_with("//") || head.starts_with("/*")) && head.substr(2) == banner;
    std::fclose(in);
    return own;
}

// Appends the removal of what of the library `present` holds and this run
// leaves behind: every blob but `blobName`, every stale scratch blob, and
// a data source of its own that this run does not write (the
// NAME.data.cpp of earlier versions, which named a blob that is gone,
// and with Incbin a NAME.data.c of the other form). A build that compiles
// all it finds in the folder then finds one library.
void RemoveStale(const Request& request, const std::string& blobName, const std::vector<std::string>& present,
                      std::vector<Write>* writes) {
    const bool incbin = request.format == DataFormat::Incbin;
    for (const std::string& name : present)
        if ((name != blobName && IsBlobOf(name, request.name)) || IsStaleScratch(name, request.name) ||
            ((name == request.name + ".data.cpp" || (incbin && name == request.name + ".data.c")) &&
             OwnSource(request.folder / frontend::FsPath(name), request.name)))
            writes->push_back({request.folder / frontend::FsPath(name), std::string(), true});
}

constexpr std::size_t kPiece = std::size_t{1} << 20;  // what one read takes

// Reads the file at `path` piece by piece, handing each to `take`. False
// when it cannot be read whole.
template <typename Take>
bool ReadPieces(const fs::path& path, std::vector<char>* piece, Take take) {
    std::FILE* in = platform::OpenRegularForRead(path);
    if (!in) return false;
    for (std::size_t n; (n = std::fread(piece->data(), 1, piece->size(), in)) > 0;) take(std::string_view(piece->data(), n));
    bool read = !std::ferror(in);
    std::fclose(in);
    return read;
}

// Is a package's file, read as `read` bytes, as the walk saw it: as long,
// and with the same time after the read? (A rewrite of the same length
// changes the time.)
bool Unchanged(const Entry& entry, std::uint64_t read) {
    platform::FileFacts now;
    return read == entry.size && platform::QueryFile(entry.file, &now) && now.kind == platform::FileKind::Regular &&
           now.size == entry.size && now.modified == entry.modified;
}

// The writes that follow the blob (and the Msvc data): the table, the
// header last of the sources, then the removal of what the table no
// longer names. `plan` names the blob `blobName` (Incbin) whose hash is
// `hash`.
std::vector<Write> SourceWrites(const Request& request, const Plan& plan, const std::vector<Script>& scripts,
                                std::uint64_t blobSize, const std::string& hash, const std::string& blobName,
                                const std::vector<std::string>& present) {
    std::vector<File> files = StreamedSources(plan, scripts, blobSize, hash);  // the header, the table
    std::rotate(files.begin(), files.begin() + 1, files.end());              // the header last
    std::vector<Write> writes;
    for (File& file : files) writes.push_back({request.folder / frontend::FsPath(file.name), std::move(file.content)});
    RemoveStale(request, blobName, present, &writes);
    return writes;
}

// Makes the writes, in order. False, with `failure` naming the file, at
// the first that cannot be made; the ones before it stand. `changed` as
// for FinishStreamed.
bool Perform(const std::vector<Write>& writes, frontend::Failure* failure, bool* changed) {
    for (const Write& write : writes) {
        if (!write.remove && !frontend::PutIfChanged(write.path, write.content, failure, changed)) return false;
        if (!write.remove) continue;
        if (!platform::RemoveFile(write.path)) {
            *failure = {frontend::Utf8(write.path), "cannot be removed"};
            return false;
        }
        if (changed) *changed = true;
    }
    return true;
}

// The names of the entries of `folder` (UTF-8); empty when it cannot be
// listed.
std::vector<std::string> Present(const fs::path& folder) {
    std::vector<std::string> names;
    if (!platform::ListDirectory(folder, &names)) names.clear();
    return names;
}

}  // namespace

ScratchBlob::~ScratchBlob() {
    if (stream_) std::fclose(stream_);
    if (!path_.empty()) platform::RemoveFile(path_);
    platform::UnwatchNewFile(watched_);
}

bool ScratchBlob::Open(const Request& request, frontend::Failure* failure) {
    path_ = request.folder / frontend::FsPath(ScratchName(request.name, platform::ProcessNumber()));
    stream_ = platform::CreateNewStream(path_);
    if (request.compress > 0) compressor_ = std::make_unique<Compressor>(request.compress);
    *failure = {frontend::Utf8(path_), "cannot be made (a file of that name, or a folder closed to it)"};
    if (!stream_) path_.clear();
    // an interruption removes it, as it removes the placed files' new files
    if (stream_) watched_ = platform::WatchNewFile(path_);
    return stream_ != nullptr;
}

void ScratchBlob::Write(std::string_view bytes) {
    if (bytes.empty()) return;  // an empty script's bytes may be null, which no write takes
    failed_ = failed_ || std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size();
    size_ += bytes.size();
}

Script ScratchBlob::Put(std::string name, std::string_view bytes) {
    Script script{std::move(name), size_, bytes.size()};
    if (compressor_ && compressor_->Pack(bytes, &frame_)) {
        script = {std::move(script.name), size_, frame_.size(), true, bytes.size()};
        Write(frame_);
    } else {
        Write(bytes);
    }
    return script;
}

bool ScratchBlob::Flushed(frontend::Failure* failure) {
    failed_ = failed_ || std::fflush(stream_) != 0;
    if (failed_) *failure = {frontend::Utf8(path_), "cannot be written (a full disk?)"};
    return !failed_;
}

bool FinishStreamed(const Request& request, const std::vector<Script>& scripts, ScratchBlob& blob, std::string hash,
                    frontend::Failure* failure, bool* changed) {
    const bool incbin = request.format == DataFormat::Incbin;
    bool closed = std::fclose(blob.stream_) == 0 && !blob.failed_;
    blob.stream_ = nullptr;
    *failure = {frontend::Utf8(blob.path_), "cannot be written (a full disk?)"};
    if (!closed) return false;
    std::vector<char> piece(kPiece);
    if (hash.empty()) {
        BlobHash whole(blob.size_);
        if (!ReadPieces(blob.path_, &piece, [&](std::string_view bytes) { whole.Add(bytes); })) return false;
        hash = whole.Hex();
    }
    Plan plan{request.name, request.nameSpace, request.format, std::string(), request.package, request.compress > 0,
              &request.packages, request.source};
    const std::string blobName = incbin ? HashedBlobName(request.name, hash) : std::string();
    if (incbin) {
        plan.blobPath = request.blobFolder + "/" + blobName;
        fs::path placed = request.folder / frontend::FsPath(blobName);
        *failure = {frontend::Utf8(placed), "cannot be written"};
        // a blob of that name holds these bytes, its time kept, unless
        // something cut or grew it since: then it is put in place again
        platform::FileFacts there;
        if (!platform::QueryFile(placed, &there) || there.kind != platform::FileKind::Regular ||
            there.size != blob.size_) {
            if (!platform::MoveIntoPlace(blob.path_, placed, &failure->why)) return false;
            blob.path_.clear();
            platform::UnwatchNewFile(blob.watched_);
            blob.watched_ = -1;
            if (changed) *changed = true;
        }
    } else {
        // the C literal data, from the blob read again
        fs::path data = request.folder / frontend::FsPath(request.name + ".data.c");
        std::string text;
        failure->path = frontend::Utf8(data);
        platform::PlacedFile file;
        if (!file.Open(data, true, &failure->why)) return false;
        MsvcWriter writer(plan, BlobSymbol(plan, scripts, blob.size_), blob.size_);
        writer.Begin(hash, &text);
        bool read = ReadPieces(blob.path_, &piece, [&](std::string_view bytes) {
            writer.Add(bytes, &text);
            file.Append(text);
            text.clear();
        });
        writer.End(&text);
        file.Append(text);
        bool differs = false;
        if (!read) failure->why = "the blob could not be read again";  // the new file goes with `file`
        if (!read || !file.Commit(&failure->why, &differs)) return false;
        if (changed && differs) *changed = true;
    }
    std::vector<Write> writes = SourceWrites(request, plan, scripts, blob.size_, hash, blobName, Present(request.folder));
    return Perform(writes, failure, changed);
}

bool HoldFile(Entry& entry, frontend::Failure* failure) {
    std::vector<char> piece(std::size_t{1} << 16);  // a package.json is small
    std::string whole;
    *failure = {frontend::Utf8(entry.file), "cannot be read: the library would have a hole in it"};
    if (!ReadPieces(entry.file, &piece, [&](std::string_view bytes) { whole += bytes; })) return false;
    if (!Unchanged(entry, whole.size())) {
        failure->why = "changed while it was read";
        return false;
    }
    entry.bytes = std::move(whole);
    entry.file.clear();
    return true;
}

bool WriteLibrary(const Request& request, std::vector<Entry>& entries, frontend::Failure* failure, bool* changed) {
    ScratchBlob blob;
    if (!blob.Open(request, failure)) return false;
    // a package's size is known from the walk: its hash is taken as the bytes
    // come (compressed, the blob's size is known only at the end, and it is
    // read again for its hash)
    const bool hashing = request.package && !blob.Compressing();
    std::uint64_t total = 0;
    for (const Entry& entry : entries) total += entry.size;
    BlobHash hash(total);
    auto write = [&](std::string_view bytes) {
        if (hashing) hash.Add(bytes);
        blob.Write(bytes);
    };
    std::vector<Script> scripts;
    std::vector<char> piece(kPiece);
    std::string whole;  // compressing: the file being read, its room kept
    for (Entry& entry : entries) {
        std::uint64_t offset = blob.Size();
        *failure = {frontend::Utf8(entry.file), "cannot be read: the library would have a hole in it"};
        if (blob.Compressing()) {
            whole.clear();
            if (entry.file.empty()) whole.swap(entry.bytes);
            else if (!ReadPieces(entry.file, &piece, [&](std::string_view bytes) { whole += bytes; })) return false;
        } else if (entry.file.empty()) {
            write(entry.bytes);
            std::string().swap(entry.bytes);
        } else if (!ReadPieces(entry.file, &piece, write)) {
            return false;
        }
        std::uint64_t length = blob.Compressing() ? whole.size() : blob.Size() - offset;
        // (bytes held were checked when HoldFile read them)
        if (request.package && !entry.file.empty() && !Unchanged(entry, length)) {
            failure->why = "changed while it was read";
            return false;
        }
        scripts.push_back(blob.Compressing() ? blob.Put(entry.name, whole) : Script{entry.name, offset, length});
    }
    return FinishStreamed(request, scripts, blob, hashing ? hash.Hex() : std::string(), failure, changed);
}

}  // namespace library
