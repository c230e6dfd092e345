// The library runs: a script tree through the generator's walk, or a
// package by its paths, each file's bytes streamed into the library.
#include <cctype>
#include <set>
#include <system_error>

#include "tools/nativegen-build/cli/depfile.h"
#include "tools/nativegen-build/cli/steps.h"
#include "tools/nativegen-build/library/names.h"
#include "tools/nativegen-build/library/packages.h"
#include "tools/nativegen-build/library/targets.h"
#include "tools/nativegen-build/library/writes.h"
#include "tools/nativegen-build/package/walk.h"

namespace fs = std::filesystem;

namespace frontend {
namespace {

// Is the path absolute as either system writes it ("/x", "\x", "C:/x")?
bool IsAbsolute(const std::string& path) {
    return !path.empty() && (path[0] == '/' || path[0] == '\\' ||
                             (path.size() > 2 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                              path[1] == ':' && (path[2] == '/' || path[2] == '\\')));
}

// The root `root` (absolute) as a table names the folder it is read from:
// UTF-8, no "." or ".." parts, no separator after it but the file system's root's.
std::string SourceFolder(const fs::path& root) {
    fs::path folder = root.lexically_normal();
    if (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();
    return Utf8(folder);
}

// The library `options` ask for, its names not yet checked.
library::Request LibraryRequest(const Options& options) {
    std::error_code error;
    library::Request request;
    request.name = options.library;
    request.format = options.data == "incbin" ? library::DataFormat::Incbin : library::DataFormat::Msvc;
    request.folder = fs::absolute(FsPath(options.output), error);
    // the assembler names the blob as the build named the folder when that
    // is absolute (a front end run through an emulator sees its own form of
    // the path); otherwise made absolute here
    request.blobFolder = IsAbsolute(options.output) ? options.output : DepfilePath(request.folder);
    // a backslash ends a name where it is no separator (Linux): it stays
    auto separator = [](char c) { return c == '/' || c == static_cast<char>(fs::path::preferred_separator); };
    while (request.blobFolder.size() > 1 && separator(request.blobFolder.back())) request.blobFolder.pop_back();
    request.package = !options.files.empty();
    request.compress = options.compress;
    return request;
}

// The most bytes a library's data can hold for the target `options` name.
std::uint64_t BlobLimit(const Options& options) {
    std::uint64_t limit = 0;
    library::BlobLimit(options.target, &limit);  // the name was checked with the command line
    return limit;
}

// Does a blob of `total` bytes link for the target? When not, `failure`
// says so with both sizes: it is refused before anything compiles.
bool WithinLimit(const Options& options, const library::Request& request, std::uint64_t total, Failure* failure) {
    if (library::WithinBlobLimit(total, options.target)) return true;
    std::uint64_t limit = BlobLimit(options);
    *failure = {Utf8(request.folder),
                std::string(request.package ? "the files" : "the scripts") + " come to " + std::to_string(total) +
                    " bytes, past the " + std::to_string(limit) + " bytes a library's data can hold for " +
                    options.target + ": nothing was written"};
    return false;
}

}  // namespace

// Check the library's names: a name its files may take as their stem and
// a namespace the header can open. Answers the namespace in `nameSpace`.
bool CheckLibraryNames(const Options& options, std::string* nameSpace, Failure* failure) {
    *nameSpace = options.nameSpace.empty() ? options.library : options.nameSpace;
    std::string why;
    if (!library::ValidLibraryName(options.library, &why)) {
        *failure = {options.library, "not a library name: " + why};
        return false;
    }
    if (!library::ValidNamespace(*nameSpace, &why)) {
        *failure = {*nameSpace, "not a namespace for the library" +
                                    std::string(options.nameSpace.empty() ? " (its name; give --namespace): " : ": ") +
                                    why};
        return false;
    }
    return true;
}

// The run in library mode.
int RunLibrary(const Options& options, const Tree& tree, Folders* made) {
    Failure failure;
    library::Request request = LibraryRequest(options);
    if (!CheckLibraryNames(options, &request.nameSpace, &failure) ||
        !made->Make(request.folder, &failure))
        return Report(failure);
    library::ScratchBlob blob;
    if (!blob.Open(request, &failure)) return Report(failure);
    Collector collector(&blob, BlobLimit(options));
    Walk(tree, &collector);
    if (!WithinLimit(options, request, collector.Total(), &failure)) return Report(failure);
    // the depfile first: a run that fails on it leaves the library as it was
    std::string unnamed;
    bool changed = false;
    if (!ReportProblems(collector.Problems(), options.strict, request.folder, &failure) || !blob.Flushed(&failure) ||
        !WriteDepfile(options, collector.Inputs(), &unnamed, &failure) ||
        !library::FinishStreamed(request, collector.Scripts(), blob, std::string(), &failure, &changed))
        return Report(failure);
    Say(collector.Problems(), unnamed, changed);
    return 0;
}

// The run for a package (--files): the files below the root that the
// globs take, by their paths (package_files.h), each file's bytes
// streamed into the library (library_files.h). The root is any path the
// system can name.
int RunPackage(const Options& options, Folders* made) {
    Failure failure;
    library::Request request = LibraryRequest(options);
    if (!CheckLibraryNames(options, &request.nameSpace, &failure))
        return Report(failure);
    std::error_code error;
    fs::path root = fs::absolute(FsPath(options.root), error);
    package::Walk walk;
    if (error) return Report({options.root, "cannot be made absolute"});
    // "/", "/tmp/..", a link to "/": the walk would reach /proc
    if (fs::path real = fs::canonical(root, error); !error && real == real.root_path())
        return Report({Utf8(real), "the file system's root cannot be walked"});
    // the library's own folder never: its blob would be taken again on every run
    package::Selection selection{options.files, options.exclude, {request.folder}};
    for (const std::string& folder : options.skip) selection.skip.push_back(fs::absolute(FsPath(folder), error));
    if (!package::WalkTree(root, selection, &walk, &failure.path, &failure.why)) return Report(failure);
    std::set<std::string> inputs;
    for (const fs::path& path : walk.read) inputs.insert(DepfilePath(path));
    std::vector<library::Entry> entries;
    std::uint64_t total = 0;
    for (package::File& file : walk.files) {
        total += file.size;
        entries.push_back({std::move(file.name), std::move(file.path), {}, file.size, file.modified});
    }
    if (!WithinLimit(options, request, total, &failure)) return Report(failure);
    // each package.json read once, here, before anything is written: one not
    // valid JSON is a problem like the walk's
    if (!library::ReadPackages(entries, &request.packages, &walk.warnings, &failure)) return Report(failure);
    if (options.readFromSource) request.source = SourceFolder(root);
    // the depfile first: a run that fails on it leaves the library as it was
    std::string unnamed;
    bool changed = false;
    if (!ReportProblems(walk.warnings, options.strict, request.folder, &failure) ||
        !made->Make(request.folder, &failure) || !WriteDepfile(options, inputs, &unnamed, &failure) ||
        !library::WriteLibrary(request, entries, &failure, &changed))
        return Report(failure);
    Say(walk.warnings, unnamed, changed);
    return 0;
}


}  // namespace frontend
