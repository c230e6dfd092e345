// The floor the generator is held to on many small scripts: one process
// doing only what no generator can leave out. It walks the tree as the
// generator does (in each directory the names sorted, files first, then
// each subdirectory whole; the type from the directory entry), opens each
// "*.js" file by its full path, asks for its DOS attribute through the
// descriptor, reads it to the end, formats its bytes as a decimal list
// and writes every list to one file.
//
//   nativegen_floor ROOT OUT
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The text of each byte value behind a comma, at most four bytes.
struct ByteText {
    char text[4];
    unsigned char length;
};
ByteText table[256];

std::string output;
int out = -1;
long files = 0;

// Writes what the output holds once it passes the piece size, or all of it.
void Flush(bool all) {
    if (output.empty() || (!all && output.size() < (256u << 10))) return;
    if (write(out, output.data(), output.size()) != static_cast<ssize_t>(output.size())) {
        std::perror("write");
        _exit(1);
    }
    output.clear();
}

bool IsScript(const char* name) {
    std::size_t n = std::strlen(name);
    return n >= 3 && name[n - 3] == '.' && (name[n - 2] | 0x20) == 'j' && (name[n - 1] | 0x20) == 's';
}

void Emit(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    char attribute[64];
    fgetxattr(fd, "user.DOSATTRIB", attribute, sizeof attribute);  // most files have none
    unsigned char data[64 << 10];
    std::size_t at = output.size();
    output.resize(at + 1);
    output[at] = '{';
    bool first = true;
    for (ssize_t got; (got = read(fd, data, sizeof data)) > 0;) {
        std::size_t start = output.size();
        output.resize(start + static_cast<std::size_t>(got) * 4);
        char* to = output.data() + start;
        for (ssize_t i = 0; i < got; ++i) {
            const ByteText& entry = table[data[i]];
            std::memcpy(to, entry.text + (first ? 1 : 0), 4);
            to += entry.length - (first ? 1 : 0);
            first = false;
        }
        output.resize(static_cast<std::size_t>(to - output.data()));
    }
    close(fd);
    output += "}\n";
    ++files;
    Flush(false);
}

void Walk(const std::string& directory) {
    DIR* dir = opendir(directory.c_str());
    if (!dir) return;
    std::vector<std::pair<std::string, bool>> entries;  // name, is a directory
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.' && (!e->d_name[1] || (e->d_name[1] == '.' && !e->d_name[2]))) continue;
        entries.emplace_back(e->d_name, e->d_type == DT_DIR);
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end());
    for (const auto& [name, isDirectory] : entries)
        if (!isDirectory && IsScript(name.c_str())) Emit(directory + "/" + name);
    for (const auto& [name, isDirectory] : entries)
        if (isDirectory) Walk(directory + "/" + name);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: nativegen_floor ROOT OUT\n");
        return 2;
    }
    for (unsigned b = 0; b < 256; ++b) {
        char text[8];
        int n = std::snprintf(text, sizeof text, ",%u", b);
        std::memcpy(table[b].text, text, 4);
        table[b].length = static_cast<unsigned char>(n);
    }
    out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        std::perror(argv[2]);
        return 1;
    }
    Walk(argv[1]);
    Flush(true);
    close(out);
    return files > 0 ? 0 : 1;
}
