#include "tools/nativegen-build/library/msvc_data.h"

#include <algorithm>

#include "tools/nativegen-build/library/escape.h"

namespace library {
namespace {

// Appends `bytes` as literal pieces of at most kPieceBytes, a line each
// behind `indent`; "" for none.
void AppendPieces(std::string* out, std::string_view bytes, const char* indent) {
    if (bytes.empty()) *out += indent, *out += "\"\"\n";
    for (std::size_t at = 0; at < bytes.size(); at += kPieceBytes) {
        *out += indent;
        *out += '"';
        AppendEscaped(out, bytes.substr(at, kPieceBytes));
        *out += "\"\n";
    }
}

}  // namespace

// C, not C++: an array exactly as long as its literal, without the zero,
// is valid C. Rows of kRowBytes bytes, each one concatenation of pieces
// of at most kPieceBytes, then a tail whose literal's own zero is the
// blob's closing zero, so no array is ever empty.
MsvcWriter::MsvcWriter(const Plan& plan, std::string symbol, std::uint64_t size)
    : plan_(plan), symbol_(std::move(symbol)), size_(size), rows_(size / kRowBytes) {}

void MsvcWriter::Begin(std::string_view hash, std::string* out) const {
    const std::string& symbol = symbol_;
    *out += "/*" + GeneratedMark(plan_.name) + " the " + (plan_.package ? "files'" : "scripts'") +
            " bytes. Do not edit. */\n";
    *out += "/* blob: " + std::to_string(size_) + " bytes, hash " + std::string(hash) + " */\n";
    *out += "/* rows fill their arrays exactly, without a terminating zero: valid C, and\n"
            "   no cause for that compiler's warning */\n";
    *out += "#if defined(_MSC_VER)\n#pragma warning(disable : 4295)\n#endif\n";
    // (GCC and Clang take the dialect's long literals too, but say so under -Wpedantic)
    *out += "#if defined(__GNUC__)\n#pragma GCC diagnostic ignored \"-Woverlength-strings\"\n#endif\n\n";
    *out += "struct " + symbol + "_rows {\n";
    if (rows_ > 0) *out += "    char rows[" + std::to_string(rows_) + "][" + std::to_string(kRowBytes) + "];\n";
    *out += "    char tail[" + std::to_string(size_ - rows_ * kRowBytes + 1) + "];\n";
    *out += "};\n";
    // declared before it is defined, as a symbol other files read
    *out += "extern const struct " + symbol + "_rows " + symbol + ";\n";
    *out += "const struct " + symbol + "_rows " + symbol + " = {\n";
}

void MsvcWriter::Add(std::string_view bytes, std::string* out) {
    while (!bytes.empty()) {
        std::size_t take = std::min(bytes.size(), kRowBytes - row_.size());
        row_.append(bytes.data(), take);
        bytes.remove_prefix(take);
        // Invariant: a full row_ while rows remain is written out at once,
        // so what is left at the end is the tail, shorter than a row.
        if (row_.size() == kRowBytes && rowsDone_ < rows_) {
            if (rowsDone_ == 0) *out += "    {\n";
            AppendPieces(out, row_, "        ");
            *out += "        ,\n";
            if (++rowsDone_ == rows_) *out += "    },\n";
            row_.clear();
        }
    }
}

void MsvcWriter::End(std::string* out) {
    AppendPieces(out, row_, "    ");
    *out += "};\n";
    row_.clear();
}

}  // namespace library
