// What a consumer of a library pays at run time, beside its floors:
// read() over every entry (MB/s of output), and find() over every name
// in a shuffled order beside a hash map (std::unordered_map) built from
// all() (ns per lookup). Prints "read MBPS" and "find NS map NS".
//
//   reader [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "scripts.h"

namespace {
double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}
}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    std::size_t largest = 0, total = 0;
    for (const scripts::entry& e : scripts::all()) largest = e.size > largest ? e.size : largest;
    std::vector<char> buffer(largest + 1);
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        total = 0;
        for (const scripts::entry& e : scripts::all()) {
            if (!scripts::read(e, buffer.data())) return 1;
            total += e.size;
        }
        best = std::min(best, Seconds(start));
    }
    std::printf("read %.0f\n", total / best / 1e6);

    std::vector<std::string> names;
    std::unordered_map<std::string_view, const scripts::entry*> map;
    for (const scripts::entry& e : scripts::all()) names.push_back(e.name), map.emplace(e.name, &e);
    std::shuffle(names.begin(), names.end(), std::mt19937(21));
    std::vector<std::string_view> views(names.begin(), names.end());
    const std::size_t lookups = 2000000;
    double found = 1e9, mapped = 1e9;
    std::size_t hits = 0;
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < lookups; ++i) hits += scripts::find(views[i % views.size()]) != nullptr;
        found = std::min(found, Seconds(start));
        start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < lookups; ++i) hits += map.find(views[i % views.size()]) != map.end();
        mapped = std::min(mapped, Seconds(start));
    }
    std::printf("find %.1f map %.1f\n", found / lookups * 1e9, mapped / lookups * 1e9);
    return hits == 2 * lookups * rounds ? 0 : 1;
}
