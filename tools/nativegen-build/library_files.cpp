#include "tools/nativegen-build/library_files.h"

#include <cctype>
#include <cstdio>
#include <system_error>

#include "platform/tool_files.h"

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
    for (const std::string& name : present)
        if (name != blobName && IsBlobOf(name, request.name))
            writes.push_back({request.folder / frontend::FsPath(name), std::string(), true});
    return writes;
}

bool Perform(const std::vector<Write>& writes, std::size_t count, frontend::Failure* failure, bool* changed) {
    for (std::size_t i = 0; i < count && i < writes.size(); ++i) {
        const Write& write = writes[i];
        std::error_code error;
        if (!write.remove && !frontend::PutIfChanged(write.path, write.content, failure, changed)) return false;
        if (write.remove && fs::remove(write.path, error) && changed) *changed = true;
        if (write.remove && error) {
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

bool WriteLibrary(const Request& request, std::vector<Entry>& entries, frontend::Failure* failure, bool* changed) {
    std::vector<Script> scripts;
    std::string blob;
    if (!Gather(entries, &scripts, &blob, failure)) return false;
    std::vector<Write> writes = Writes(request, scripts, std::move(blob), Present(request.folder));
    return Perform(writes, writes.size(), failure, changed);
}

}  // namespace library
