#include "tools/common/identifiers.h"

#include <algorithm>
#include <iterator>
#include <cstring>
#include <vector>

namespace identifiers {
namespace {

// C (through C23) and C++ (through C++20) keywords; "main", which no
// variable at global scope may be called; "node_native", the type every
// descriptor line names; and names a build or a target defines that no
// header list holds: NDEBUG (a release build), i386 (32-bit x86), and
// <sys/sysmacros.h>'s major, minor and makedev.
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
        "_Thread_local", "main", "node_native", "NDEBUG", "i386", "major", "minor", "makedev"};
    return words;
}

// Names a standard C or C++ header of a supported compiler declares at
// global scope or defines as a macro, sorted: `index`, `errno`, `linux`, ...
constexpr std::string_view kSystemNames[] = {
#include "tools/common/system_names.inc"
};
static_assert(std::is_sorted(std::begin(kSystemNames), std::end(kSystemNames)), "system_names.inc is sorted");

}  // namespace

bool IsReserved(std::string_view word) { return Reserved().count(std::string(word)) != 0; }

bool IsSystemName(std::string_view word) {
    return std::binary_search(std::begin(kSystemNames), std::end(kSystemNames), word);
}

namespace {

bool IdentifierByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

const char kDescriptor[] = "node_native native_";

// The descriptor's name beside an array's.
std::string Native(const std::string& id) { return "native_" + id; }

// ---- Reading the header ----------------------------------------------------------

// A buffered reader that hands out the head of a line and passes over the
// rest of it, so a line of any length goes through in constant memory. It
// counts the bytes it has handed out or passed over.
class Reader {
public:
    explicit Reader(std::FILE* in) : in_(in), buffer_(std::size_t{1} << 20) {}

    bool AtEnd() { return !Fill(); }
    long long Offset() const { return offset_; }

    // Appends up to `limit` bytes of the line, through its '\n' if that comes
    // first, to `out`; answers whether the '\n' came.
    bool Head(std::string* out, std::size_t limit) {
        while (out->size() < limit && Fill()) {
            std::size_t room = std::min(limit - out->size(), end_ - pos_);
            const char* start = buffer_.data() + pos_;
            const void* newline = std::memchr(start, '\n', room);
            std::size_t n = newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - start) + 1 : room;
            out->append(start, n);
            Take(n);
            if (newline) return true;
        }
        return false;
    }

    // Passes over the rest of the line, through its '\n', keeping its last
    // four bytes in `tail` (the oldest first); false when the input ends first.
    bool Skip(char (&tail)[4]) {
        while (Fill()) {
            const char* start = buffer_.data() + pos_;
            const void* newline = std::memchr(start, '\n', end_ - pos_);
            std::size_t n =
                newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - start) + 1 : end_ - pos_;
            for (std::size_t i = n > 4 ? n - 4 : 0; i < n; ++i) {
                std::memmove(tail, tail + 1, 3);
                tail[3] = start[i];
            }
            Take(n);
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

    void Take(std::size_t n) {
        pos_ += n;
        offset_ += static_cast<long long>(n);
    }

    std::FILE* in_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    long long offset_ = 0;
};

// The most an array line's head can take before its byte list starts: the
// identifier of a path under 260 bytes and the fixed texts around it.
constexpr std::size_t kHeadLimit = 300;
// The most a descriptor line can take: three identifiers and a name.
constexpr std::size_t kDescriptorLimit = 2048;

// One line pair as the plan reads it: where its parts stand, and its
// identifier's place in the plan's one block of identifier text.
struct Pair {
    std::size_t idText;       // offset of the identifier in the identifier text
    std::size_t idLength;
    long long idAt;           // where the identifier stands in the array line
    long long descriptorAt;   // where the descriptor line starts
    std::size_t descriptorLength;  // CR LF included
    std::size_t nameAt;       // where the module name starts in that line
    std::size_t nameLength;
};

// Reads every line pair, checking the format; false, with `why`, at the
// first pair that is not as the generator writes it.
bool ReadPairs(std::FILE* in, std::vector<Pair>* pairs, std::string* ids, std::string* why) {
    Reader reader(in);
    const std::string open = "const char ", mid = "[] = {", close = "};\r\n";
    for (long number = 1; !reader.AtEnd(); ++number) {
        const std::string where = "line pair " + std::to_string(number) + ": ";
        Pair pair{};
        long long lineAt = reader.Offset();
        std::string head;
        bool whole = reader.Head(&head, kHeadLimit);
        // the identifier ends at the last "[] = {" of the head: a byte list
        // holds only digits and commas
        std::size_t at = head.rfind(mid);
        if (head.compare(0, open.size(), open) != 0 || at == std::string::npos || at < open.size()) {
            *why = where + "not an array line";
            return false;
        }
        const std::string id = head.substr(open.size(), at - open.size());
        pair.idText = ids->size();
        pair.idLength = id.size();
        ids->append(id);
        pair.idAt = lineAt + static_cast<long long>(open.size());
        char tail[4] = {};
        std::size_t kept = std::min<std::size_t>(4, head.size());
        std::memcpy(tail + 4 - kept, head.data() + head.size() - kept, kept);
        if (!whole && !reader.Skip(tail)) {
            *why = where + "the array line does not end";
            return false;
        }
        if ((whole && head.size() < at + mid.size() + 4) || std::memcmp(tail, close.data(), 4) != 0) {
            *why = where + "the array line does not end in \"};\" and CR LF";
            return false;
        }

        pair.descriptorAt = reader.Offset();
        const std::string before = kDescriptor + id + "{ \"";
        const std::string after = "\", " + id + ", sizeof(" + id + ") };\r\n";
        std::string line;
        if (!reader.Head(&line, kDescriptorLimit) || line.size() < before.size() + after.size() ||
            line.compare(0, before.size(), before) != 0 ||
            line.compare(line.size() - after.size(), after.size(), after) != 0) {
            *why = where + "no descriptor line for \"" + id + "\"";
            return false;
        }
        pair.descriptorLength = line.size();
        pair.nameAt = before.size();
        pair.nameLength = line.size() - before.size() - after.size();
        pairs->push_back(pair);
    }
    if (std::ferror(in)) {
        *why = "a read failed";
        return false;
    }
    return true;
}

// Reads past the next `count` bytes of `in` (an old identifier or line).
bool Discard(std::FILE* in, std::size_t count) {
    char piece[512];
    while (count > 0) {
        std::size_t got = std::fread(piece, 1, std::min(count, sizeof piece), in);
        if (got == 0) return false;
        count -= got;
    }
    return true;
}

// Copies the next `count` bytes of `in` to `out` (all that is left when
// count is negative); false when a read or write falls short.
bool CopyBytes(std::FILE* in, std::FILE* out, long long count, std::vector<char>* buffer) {
    while (count != 0) {
        std::size_t want = buffer->size();
        if (count > 0 && count < static_cast<long long>(want)) want = static_cast<std::size_t>(count);
        std::size_t got = std::fread(buffer->data(), 1, want, in);
        if (got == 0) return count < 0 && !std::ferror(in);
        if (std::fwrite(buffer->data(), 1, got, out) != got) return false;
        if (count > 0) count -= static_cast<long long>(got);
    }
    return true;
}

}  // namespace

bool IsValid(const std::string& id) {
    if (id.empty() || IsDigit(id[0]) || id[0] == '_' || id.find("__") != std::string::npos) return false;
    for (unsigned char c : id)
        if (!IdentifierByte(c)) return false;
    return !IsReserved(id) && !IsSystemName(id);
}

std::string MakeValid(const std::string& id) {
    // every other byte "_", runs of "_" one: no "__" anywhere
    std::string valid;
    valid.reserve(id.size() + 3);
    for (unsigned char c : id) {
        char made = IdentifierByte(c) ? static_cast<char>(c) : '_';
        if (made != '_' || valid.empty() || valid.back() != '_') valid.push_back(made);
    }
    // nothing that starts with "_" (reserved at global scope) or a digit
    if (valid.empty() || valid[0] == '_') valid.insert(0, "js");
    else if (IsDigit(valid[0])) valid.insert(0, "js_");
    while (IsReserved(valid) || IsSystemName(valid)) valid += '_';
    return valid;
}

std::uint64_t Namer::Hash(std::string_view name) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

void Namer::Note(std::string_view id) {
    if (!IsValid(std::string(id))) return;
    kept_.insert(Hash(id));
    kept_.insert(Hash(Native(std::string(id))));
}

bool Namer::Free(const std::string& id) const {
    std::uint64_t name = Hash(id), descriptor = Hash(Native(id));
    return !taken_.count(name) && !taken_.count(descriptor) && !kept_.count(name) && !kept_.count(descriptor);
}

std::string Namer::Assign(std::string_view given) {
    std::string id(given);
    std::string name = id;
    /* valid, and nothing earlier defines its names? it stays */
    if (!IsValid(id) || taken_.count(Hash(id)) || taken_.count(Hash(Native(id)))) {
        std::string base = IsValid(id) ? id : MakeValid(id);
        name = base;
        // base_2, base_3, ...; base2, ... after a "_", which would make "__"
        const std::string stem = base.back() == '_' ? base : base + "_";
        for (long n = 2; !Free(name); ++n) name = stem + std::to_string(n);
    }
    taken_.insert(Hash(name));
    taken_.insert(Hash(Native(name)));
    return name;
}

bool Plan(std::FILE* in, std::vector<Edit>* edits, std::string* why) {
    std::vector<Pair> pairs;
    std::string ids;
    if (!ReadPairs(in, &pairs, &ids, why)) return false;
    auto id = [&](const Pair& pair) { return std::string_view(ids).substr(pair.idText, pair.idLength); };
    Namer namer;
    for (const Pair& pair : pairs) namer.Note(id(pair));
    edits->clear();
    for (const Pair& pair : pairs) {
        std::string name = namer.Assign(id(pair));
        if (name == id(pair)) continue;
        edits->push_back({pair.idAt, pair.idLength, name, pair.descriptorAt, pair.descriptorLength, pair.nameAt,
                          pair.nameLength});
    }
    return true;
}

bool Apply(std::FILE* in, std::FILE* out, const std::vector<Edit>& edits) {
    std::vector<char> buffer(std::size_t{4} << 20);
    auto put = [&](const std::string& text) { return std::fwrite(text.data(), 1, text.size(), out) == text.size(); };
    long long at = 0;
    for (const Edit& edit : edits) {
        // what stands before the identifier, then the new identifier
        if (!CopyBytes(in, out, edit.idAt - at, &buffer) || !put(edit.id) || !Discard(in, edit.oldLength)) return false;
        at = edit.idAt + static_cast<long long>(edit.oldLength);
        // the rest of the array line, then the descriptor line around its old name
        if (!CopyBytes(in, out, edit.descriptorAt - at, &buffer) || !put(kDescriptor + edit.id + "{ \"") ||
            !Discard(in, edit.nameAt) || !CopyBytes(in, out, static_cast<long long>(edit.nameLength), &buffer) ||
            !put("\", " + edit.id + ", sizeof(" + edit.id + ") };\r\n") ||
            !Discard(in, edit.descriptorLength - edit.nameAt - edit.nameLength))
            return false;
        at = edit.descriptorAt + static_cast<long long>(edit.descriptorLength);
    }
    return CopyBytes(in, out, -1, &buffer);
}

bool Rewrite(std::FILE* in, std::FILE* out, std::string* why) {
    std::vector<Edit> edits;
    if (!Plan(in, &edits, why)) return false;
    std::rewind(in);
    if (!Apply(in, out, edits)) {
        *why = "a read or write failed";
        return false;
    }
    return true;
}

}  // namespace identifiers
