#include "tools/identifiers.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace identifiers {
namespace {

// C (through C23) and C++ (through C++20) keywords, and "main", which no
// variable at global scope may be called.
const std::unordered_set<std::string>& Reserved() {
    static const std::unordered_set<std::string> words = {
        "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case", "catch",
        "char", "char8_t", "char16_t", "char32_t", "class", "compl", "concept", "const", "consteval", "constexpr",
        "constinit", "const_cast", "continue", "co_await", "co_return", "co_yield", "decltype", "default", "delete",
        "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "float", "for",
        "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept", "not", "not_eq",
        "nullptr", "operator", "or", "or_eq", "private", "protected", "public", "register", "reinterpret_cast",
        "requires", "restrict", "return", "short", "signed", "sizeof", "static", "static_assert", "static_cast",
        "struct", "switch", "template", "this", "thread_local", "throw", "true", "try", "typedef", "typeid",
        "typename", "typeof", "typeof_unqual", "union", "unsigned", "using", "virtual", "void", "volatile",
        "wchar_t", "while", "xor", "xor_eq", "_Alignas", "_Alignof", "_Atomic", "_BitInt", "_Bool", "_Complex",
        "_Decimal32", "_Decimal64", "_Decimal128", "_Generic", "_Imaginary", "_Noreturn", "_Static_assert",
        "_Thread_local", "main"};
    return words;
}

bool IdentifierByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

const char kDescriptor[] = "node_native native_";

// The descriptor's name beside an array's.
std::string Native(const std::string& id) { return "native_" + id; }

// ---- Reading the header ----------------------------------------------------------

// A buffered reader that hands out the head of a line and passes the rest
// of it on in the pieces it was read in, so a line of any length goes
// through in constant memory.
class Reader {
public:
    explicit Reader(std::FILE* in) : in_(in), buffer_(std::size_t{1} << 20) {}

    bool AtEnd() { return !Fill(); }

    // Appends up to `limit` bytes of the line, through its '\n' if that comes
    // first, to `out`; answers whether the '\n' came.
    bool Head(std::string* out, std::size_t limit) {
        while (out->size() < limit && Fill()) {
            std::size_t room = std::min(limit - out->size(), end_ - pos_);
            const char* start = buffer_.data() + pos_;
            const void* newline = std::memchr(start, '\n', room);
            std::size_t n = newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - start) + 1 : room;
            out->append(start, n);
            pos_ += n;
            if (newline) return true;
        }
        return false;
    }

    // Hands the rest of the line, through its '\n', to `sink(data, size)`;
    // false when the input ends first.
    template <class Sink>
    bool Rest(Sink sink) {
        while (Fill()) {
            const char* start = buffer_.data() + pos_;
            const void* newline = std::memchr(start, '\n', end_ - pos_);
            std::size_t n =
                newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - start) + 1 : end_ - pos_;
            sink(start, n);
            pos_ += n;
            if (newline) return true;
        }
        return false;
    }

private:
    // Something left to read? Refills the buffer when it is used up.
    bool Fill() {
        if (pos_ < end_) return true;
        pos_ = 0;
        end_ = std::fread(buffer_.data(), 1, buffer_.size(), in_);
        return end_ > 0;
    }

    std::FILE* in_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
};

// The most an array line's head can take before its byte list starts: the
// identifier of a path under 260 bytes and the fixed texts around it.
constexpr std::size_t kHeadLimit = 300;
// The most a descriptor line can take: three identifiers and a name.
constexpr std::size_t kDescriptorLimit = 2048;

// One pass over the header: in the first (`out` null) every identifier is
// noted; in the second each is assigned and the header written.
bool Pass(std::FILE* in, std::FILE* out, Namer* namer, std::string* why) {
    Reader reader(in);
    const std::string open = "const char ", mid = "[] = {", close = "};\r\n";
    bool written = true;
    auto write = [&](const char* data, std::size_t size) {
        if (out && size && std::fwrite(data, 1, size, out) != size) written = false;
    };
    for (long pair = 1; !reader.AtEnd(); ++pair) {
        std::string head;
        bool whole = reader.Head(&head, kHeadLimit);
        // the identifier ends at the last "[] = {" of the head: a byte list
        // holds only digits and commas
        std::size_t at = head.rfind(mid);
        if (head.compare(0, open.size(), open) != 0 || at == std::string::npos || at < open.size()) {
            *why = "line pair " + std::to_string(pair) + ": not an array line";
            return false;
        }
        std::string id = head.substr(open.size(), at - open.size());
        std::string name = out ? namer->Assign(id) : id;
        if (!out) namer->Note(id);
        write(open.data(), open.size());
        write(name.data(), name.size());
        write(head.data() + at, head.size() - at);
        char tail[4] = {};  // the line's last bytes, to check its end
        std::size_t seen = head.size() - at;
        auto keep = [&](const char* data, std::size_t size) {
            for (std::size_t i = size > 4 ? size - 4 : 0; i < size; ++i) {
                std::memmove(tail, tail + 1, 3);
                tail[3] = data[i];
            }
            seen += size;
        };
        keep(head.data() + at, head.size() - at);
        if (!whole && !reader.Rest([&](const char* data, std::size_t size) {
                write(data, size);
                keep(data, size);
            })) {
            *why = "line pair " + std::to_string(pair) + ": the array line does not end";
            return false;
        }
        if (seen < mid.size() + close.size() || std::memcmp(tail, close.data(), 4) != 0) {
            *why = "line pair " + std::to_string(pair) + ": the array line does not end in \"};\" and CR LF";
            return false;
        }

        std::string descriptor;
        const std::string before = kDescriptor + id + "{ \"";
        const std::string after = "\", " + id + ", sizeof(" + id + ") };\r\n";
        if (!reader.Head(&descriptor, kDescriptorLimit) || descriptor.size() < before.size() + after.size() ||
            descriptor.compare(0, before.size(), before) != 0 ||
            descriptor.compare(descriptor.size() - after.size(), after.size(), after) != 0) {
            *why = "line pair " + std::to_string(pair) + ": no descriptor line for \"" + id + "\"";
            return false;
        }
        std::string renamed = kDescriptor + name + "{ \"" +
                              descriptor.substr(before.size(), descriptor.size() - before.size() - after.size()) +
                              "\", " + name + ", sizeof(" + name + ") };\r\n";
        write(renamed.data(), renamed.size());
    }
    if (std::ferror(in)) {
        *why = "a read failed";
        return false;
    }
    if (!written) {
        *why = "a write failed";
        return false;
    }
    return true;
}

}  // namespace

bool IsValid(const std::string& id) {
    if (id.empty() || IsDigit(id[0])) return false;
    for (unsigned char c : id)
        if (!IdentifierByte(c)) return false;
    return Reserved().count(id) == 0;
}

std::string MakeValid(const std::string& id) {
    std::string valid;
    if (id.empty() || IsDigit(id[0])) valid = "_";
    for (unsigned char c : id) valid += IdentifierByte(c) ? static_cast<char>(c) : '_';
    if (Reserved().count(valid)) valid += '_';
    return valid;
}

void Namer::Note(const std::string& id) {
    if (!IsValid(id)) return;
    kept_.insert(id);
    kept_.insert(Native(id));
}

bool Namer::Free(const std::string& id) const {
    std::string descriptor = Native(id);
    return !taken_.count(id) && !taken_.count(descriptor) && !kept_.count(id) && !kept_.count(descriptor);
}

std::string Namer::Assign(const std::string& id) {
    std::string name = id;
    std::string descriptor = Native(id);
    /* valid, and nothing earlier defines its names? it stays */
    if (!IsValid(id) || taken_.count(id) || taken_.count(descriptor)) {
        std::string base = IsValid(id) ? id : MakeValid(id);
        name = base;
        for (long n = 2; !Free(name); ++n) name = base + "_" + std::to_string(n);
    }
    taken_.insert(name);
    taken_.insert(Native(name));
    return name;
}

bool Rewrite(std::FILE* in, std::FILE* out, std::string* why) {
    Namer namer;
    if (!Pass(in, nullptr, &namer, why)) return false;
    std::rewind(in);
    return Pass(in, out, &namer, why);
}

}  // namespace identifiers
