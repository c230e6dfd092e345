#include "tests/support/test_support.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

namespace test {

TempDir::TempDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (;;) {
        root_ = fs::temp_directory_path() / ("nativegen-test-" + std::to_string(random() % 1000000000));
        if (fs::create_directories(root_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    // read-only directories inside would stop the removal
    for (auto& entry : fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied, ignored))
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
}

fs::path TempDir::Write(const fs::path& relative, const std::string& bytes) const {
    fs::path file = root_ / relative;
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
}

fs::path TempDir::MakeDir(const fs::path& relative) const {
    fs::create_directories(root_ / relative);
    return root_ / relative;
}

std::vector<std::string> TempDir::Names() const {
    std::vector<std::string> names;
    for (auto& entry : fs::directory_iterator(root_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Listing(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::u8string name = it->path().filename().u8string();
        names.emplace_back(name.begin(), name.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool OpenPendingAt(const fs::path& path, PendingFile* file) {
    return OpenPendingFile(ProgramPath(path).c_str(), file) == 1;
}

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string DecodeLiteral(const std::string& inside) {
    std::string bytes;
    for (std::size_t i = 0; i < inside.size(); ++i) {
        if (inside[i] != '\\') {
            bytes += inside[i];
        } else if (inside[i + 1] >= '0' && inside[i + 1] <= '7') {
            bytes += static_cast<char>(std::stoi(inside.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            bytes += inside[++i] == 'n' ? '\n' : inside[i];
        }
    }
    return bytes;
}

fs::path GeneratorProgram() { return fs::path(NATIVEGEN_PROGRAM); }
fs::path FaultyGeneratorProgram() { return fs::path(NATIVEGEN_FAULTY_PROGRAM); }
fs::path BuildProgram() { return fs::path(NATIVEGEN_BUILD_PROGRAM); }
fs::path IdentifiersProgram() { return fs::path(NATIVEGEN_IDENTIFIERS_PROGRAM); }

}  // namespace test
