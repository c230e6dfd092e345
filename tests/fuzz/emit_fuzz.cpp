// FormatByteList and EmitEntry on random bytes under random names.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/services/text.h"
#include "tests/fuzz/fuzz_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // a name of printable ASCII that Windows could hold, then the bytes
    static const char kNameChars[] = "abcXYZ019_-. +$.js";
    std::size_t nameLength = data[0] % 12 + 1;
    if (size < 1 + nameLength) return 0;
    std::string name;
    for (std::size_t k = 0; k < nameLength; ++k) name += kNameChars[data[1 + k] % (sizeof kNameChars - 1)];
    if (name == "." || name == ".." || name.back() == '.' || name.back() == ' ') return 0;
    std::string bytes(reinterpret_cast<const char*>(data) + 1 + nameLength, size - 1 - nameLength);

    fuzz::fs::path dir = fuzz::ScratchRoot();
    fuzz::fs::create_directories(dir / "sub");
    fuzz::fs::path file = dir / "sub" / name;
    FILE* f = std::fopen(file.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);

    TextValue path = CopyText(fuzz::ProgramPath(file).c_str());
    TextValue list = FormatByteList(path);
    std::string expectedList = fuzz::Pair("x", bytes);
    expectedList = expectedList.substr(std::strlen("const char x[] = {"));
    expectedList = expectedList.substr(0, expectedList.find("};\r\n"));
    if ((list ? list : "") != expectedList || (bytes.empty() != (list == nullptr))) std::abort();
    ReleaseBlock(list);

    std::string header = fuzz::CaptureHeader([&] { EmitEntry(path); });
    ReleaseBlock(path);
    fuzz::fs::remove_all(dir);
    if (header != fuzz::Pair(dir.filename().string() + "\\sub\\" + name, bytes)) std::abort();
    return 0;
}
