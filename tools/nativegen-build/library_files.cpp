#include "tools/nativegen-build/library_files.h"

#include <cctype>
#include <cstdio>
#include <system_error>

#include "platform/platform.h"
#include "platform/tool_files.h"
#include "runtime/services/files.h"

namespace fs = std::filesystem;

namespace library {
namespace {

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

// Appends the whole file to `blob`; false when it cannot be read whole.
bool AppendFile(const fs::path& file, std::string* blob) {
    std::FILE* in = platform::OpenStreamForRead(file);
    if (!in) return false;
    char piece[64 * 1024];
    for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, in)) > 0;) blob->append(piece, n);
    bool read = !std::ferror(in);
    std::fclose(in);
    return read;
}

// Appends the removal of every blob of the library in `present` but `blobName`.
void RemoveOtherBlobs(const Request& request, const std::string& blobName, const std::vector<std::string>& present,
                      std::vector<Write>* writes) {
    for (const std::string& name : present)
        if (name != blobName && IsBlobOf(name, request.name))
            writes->push_back({request.folder / frontend::FsPath(name), std::string(), true});
}

// Where WriteStreamed's bytes go: a scratch file beside the library's
// files for the blob, or the C literal data's pending file (written in
// place when the runtime must, as it comes). Whatever is not finished is
// removed when it goes.
class ByteSink {
public:
    ~ByteSink() {
        if (scratch_) std::fclose(scratch_);
        if (!scratchPath_.empty()) fs::remove(scratchPath_, error_);
        AbandonPendingFile(&data_);
    }

    // Starts the scratch blob `path`. False, with `failure`, when it cannot be made.
    bool OpenScratch(const fs::path& path, frontend::Failure* failure) {
        scratch_ = platform::CreateNewStream(path);
        if (scratch_) scratchPath_ = path;
        *failure = {frontend::Utf8(path), "cannot be made (a file of that name, or a folder closed to it)"};
        return scratch_ != nullptr;
    }

    // Starts the data source `path`. False, with `failure`, when it cannot be written.
    bool OpenData(const fs::path& path, frontend::Failure* failure) {
        std::string name;
        failure->path = frontend::Utf8(path);
        if (!frontend::RuntimePath(path, &name, &failure->why)) return false;
        failure->why = "cannot be written (read-only, no regular file, or in a directory that takes no new file)";
        if (!OpenPendingFile(name.c_str(), &data_)) return false;
        data_.onlyIfChanged = !data_.inPlace;  // in place, the content would have to come in one write
        return true;
    }

    void Write(std::string_view bytes) {
        if (scratch_) failed_ = failed_ || std::fwrite(bytes.data(), 1, bytes.size(), scratch_) != bytes.size();
        else WritePendingFile(&data_, bytes.data(), bytes.size());
    }

    // Ends the scratch blob and puts it in place as `path` (when a blob of
    // that name, and so of that content, is not there already).
    bool PlaceScratch(const fs::path& path, frontend::Failure* failure) {
        bool closed = std::fclose(scratch_) == 0 && !failed_;
        scratch_ = nullptr;
        *failure = {frontend::Utf8(path), "cannot be written (a full disk?)"};
        if (!closed) return false;
        if (fs::exists(path, error_)) return true;  // removed when the sink goes
        fs::rename(scratchPath_, path, error_);
        if (error_) return false;
        scratchPath_.clear();
        return true;
    }

    bool CommitData(const fs::path& path, frontend::Failure* failure) {
        *failure = {frontend::Utf8(path), "cannot be written (a full disk?)"};
        return CommitPendingFile(&data_) != 0;
    }

private:
    std::FILE* scratch_ = nullptr;
    fs::path scratchPath_;
    bool failed_ = false;
    PendingFile data_;
    std::error_code error_;
};

}  // namespace

bool Gather(std::vector<Entry>& entries, std::vector<Script>* scripts, std::string* blob,
            frontend::Failure* failure) {
    for (Entry& entry : entries) {
        std::uint64_t offset = blob->size();
        if (entry.file.empty()) {
            blob->append(entry.bytes);
            std::string().swap(entry.bytes);
        } else if (!AppendFile(entry.file, blob)) {
            *failure = {frontend::Utf8(entry.file), "cannot be read"};
            return false;
        }
        scripts->push_back({entry.name, offset, blob->size() - offset});
    }
    return true;
}

std::vector<Write> Writes(const Request& request, const std::vector<Script>& scripts, std::string blob,
                          const std::vector<std::string>& present) {
    bool incbin = request.format == DataFormat::Incbin;
    std::string blobName = incbin ? BlobFileName(request.name, blob) : std::string();
    Plan plan{request.name, request.nameSpace, request.format,
              incbin ? request.blobFolder + "/" + blobName : std::string()};
    std::vector<File> files = Sources(plan, scripts, blob);  // the header, the table, the data
    std::vector<Write> writes;
    if (incbin) writes.push_back({request.folder / frontend::FsPath(blobName), std::move(blob)});
    for (std::size_t i : {1, 2, 0})
        writes.push_back({request.folder / frontend::FsPath(files[i].name), std::move(files[i].content)});
    RemoveOtherBlobs(request, blobName, present, &writes);
    return writes;
}

bool Perform(const std::vector<Write>& writes, std::size_t count, frontend::Failure* failure) {
    for (std::size_t i = 0; i < count && i < writes.size(); ++i) {
        const Write& write = writes[i];
        std::error_code error;
        if (!write.remove && !frontend::PutIfChanged(write.path, write.content, failure)) return false;
        if (write.remove && !fs::remove(write.path, error) && error) {
            *failure = {frontend::Utf8(write.path), "cannot be removed: " + error.message()};
            return false;
        }
    }
    return true;
}

std::vector<std::string> Present(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(frontend::Utf8(it->path().filename()));
    return names;
}

bool WriteLibrary(const Request& request, std::vector<Entry>& entries, frontend::Failure* failure) {
    std::vector<Script> scripts;
    std::string blob;
    if (!Gather(entries, &scripts, &blob, failure)) return false;
    std::vector<Write> writes = Writes(request, scripts, std::move(blob), Present(request.folder));
    return Perform(writes, writes.size(), failure);
}

bool WriteStreamed(const Request& request, const std::vector<Entry>& entries, frontend::Failure* failure) {
    const bool incbin = request.format == DataFormat::Incbin;
    std::vector<Script> scripts;
    std::uint64_t total = 0;
    for (const Entry& entry : entries) {
        scripts.push_back({entry.name, total, entry.size});
        total += entry.size;
    }
    Plan plan{request.name, request.nameSpace, request.format, std::string(), request.package};
    MsvcWriter writer(plan, BlobSymbol(plan, scripts, total), total);
    BlobHash hash(total);
    ByteSink sink;
    const fs::path data = request.folder / frontend::FsPath(request.name + ".data.c");
    bool open = incbin ? sink.OpenScratch(request.folder / frontend::FsPath(request.name + "." +
                                                                            std::to_string(platform::ProcessNumber()) +
                                                                            ".partial"),
                                          failure)
                       : sink.OpenData(data, failure);
    if (!open) return false;
    std::string text;
    if (!incbin) writer.Begin("", &text);
    std::vector<char> piece(std::size_t{1} << 20);
    for (const Entry& entry : entries) {
        std::FILE* in = platform::OpenRegularForRead(entry.file);
        *failure = {frontend::Utf8(entry.file), "cannot be read: the library would have a hole in it"};
        if (!in) return false;
        std::uint64_t count = 0;
        for (std::size_t n; (n = std::fread(piece.data(), 1, piece.size(), in)) > 0; count += n) {
            std::string_view bytes(piece.data(), n);
            hash.Add(bytes);
            if (!incbin) {
                writer.Add(bytes, &text);
                bytes = text;
            }
            sink.Write(bytes);
            text.clear();
        }
        bool read = !std::ferror(in);
        std::fclose(in);
        if (!read) return false;
        if (count != entry.size) {
            failure->why = "changed while it was read";
            return false;
        }
    }
    const std::string hex = hash.Hex();
    std::string blobName;
    if (incbin) {
        blobName = HashedBlobName(request.name, hex);
        plan.blobPath = request.blobFolder + "/" + blobName;
        if (!sink.PlaceScratch(request.folder / frontend::FsPath(blobName), failure)) return false;
    } else {
        writer.End(hex, &text);
        sink.Write(text);
        if (!sink.CommitData(data, failure)) return false;
    }
    std::vector<File> files = PackageSources(plan, scripts, total, hex);  // the header, the table, [the data]
    std::vector<Write> writes;
    for (std::size_t i : {1, 2, 0})
        if (i < files.size()) writes.push_back({request.folder / frontend::FsPath(files[i].name), files[i].content});
    RemoveOtherBlobs(request, blobName, Present(request.folder), &writes);
    return Perform(writes, writes.size(), failure);
}

}  // namespace library
