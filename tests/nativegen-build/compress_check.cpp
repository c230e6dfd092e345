// A compressed library against an uncompressed one of the same tree,
// written back out for compress_check.py to compare with the files:
// every entry of `packed` read (as find() gives it) equals the same
// entry of `plain`; e.data is null for no entry of `plain`, and in
// `packed` for every compressed entry and no raw one; four threads reading every entry at once get
// the same bytes. With --damaged, the program's stored bytes were
// changed after the build: exactly one entry must read false, and every
// other still read right. With --probes, kind() and list() of each path
// in PROBES (library_probe.h), for packed and then for plain.
//
//   compress_check OUT [--damaged | --probes PROBES]
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "library_probe.h"
#include "packed.h"
#include "plain.h"

namespace {

// Reads entry `i` of packed; compares it with plain's. 0 when equal, 1
// when it differs, 2 when read() said false.
int Compare(std::size_t i, std::vector<char>* buffer) {
    const packed::entry& e = packed::all()[i];
    const plain::entry& p = plain::all()[i];
    buffer->assign(e.size + 1, '\x5a');
    if (!packed::read(e, buffer->data())) return 2;
    bool same = e.size == p.size && std::strcmp(e.name, p.name) == 0 && (*buffer)[e.size] == '\x5a' &&
                (e.size == 0 || std::memcmp(buffer->data(), p.data, p.size) == 0) &&
                (!e.data || std::memcmp(e.data, p.data, p.size) == 0);
    return same ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::FILE* out = argc >= 2 ? std::fopen(argv[1], "wb") : nullptr;
    if (!out) return 2;
    const bool damaged = argc == 3 && std::string(argv[2]) == "--damaged";
    const char* probes = argc == 4 && std::string(argv[2]) == "--probes" ? argv[3] : nullptr;
    int failures = packed::count() != plain::count();
    std::size_t unread = 0, compressed = 0;
    std::vector<char> buffer;
    for (std::size_t i = 0; i < packed::count() && !failures; ++i) {
        const packed::entry& e = packed::all()[i];
        int result = Compare(i, &buffer);
        compressed += e.data == nullptr;
        unread += result == 2;
        // stored raw: what would not shrink by a tenth (noise, two bytes, nothing)
        const bool raw = std::strcmp(e.name, "noise.bin") == 0 || std::strcmp(e.name, "tiny.json") == 0 ||
                         e.size == 0;
        failures += result == 1 || packed::find(e.name) != &e || !plain::all()[i].data || raw != (e.data != nullptr);
        if (result != 0) continue;
        std::fprintf(out, "F %s\n%zu\n", e.name, e.size);
        std::fwrite(buffer.data(), 1, e.size, out);
        std::fputc('\n', out);
    }
    // an entry of another library is none of packed's
    failures += plain::count() > 0 && packed::read(plain::all()[0], nullptr);
    failures += unread != (damaged ? 1u : 0u) || compressed == 0;
    if (!damaged) {
        std::vector<std::thread> threads;
        std::vector<int> wrong(4, 0);
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([t, &wrong] {
                std::vector<char> own;
                for (int round = 0; round < 8; ++round)
                    for (std::size_t i = 0; i < packed::count(); ++i) wrong[t] += Compare(i, &own) != 0;
            });
        for (std::thread& thread : threads) thread.join();
        for (int w : wrong) failures += w;
    }
    if (probes && !(Probe(packed::library(), probes, out) && Probe(plain::library(), probes, out))) return 2;
    std::fprintf(out, "E %d\n", failures);
    std::fprintf(stderr, "%zu entries, %zu compressed, %zu read false\n", packed::count(), compressed, unread);
    return std::fclose(out) == 0 && failures == 0 ? 0 : 1;
}
