// ToText of random slots: the result is a terminated text that fits what
// its tag allows, and nothing is written past the work area (the
// sanitizers watch the stack).
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/core/convert.h"
#include "runtime/services/text.h"

namespace {

const TypeTag kTags[] = {TypeTag::Bool, TypeTag::DateTime, TypeTag::Byte,  TypeTag::Short,
                         TypeTag::Int,  TypeTag::Long,     TypeTag::Float, TypeTag::Double,
                         TypeTag::SubroutinePtr, TypeTag::Omitted};

bool IsNumberText(const std::string& t) {
    if (t == "inf" || t == "-inf" || t == "nan") return true;
    std::size_t i = t[0] == '-' ? 1 : 0;
    bool point = false;
    for (; i < t.size(); ++i) {
        if (t[i] == '.') {
            if (point) return false;
            point = true;
        } else if (t[i] < '0' || t[i] > '9') {
            return false;
        }
    }
    return !point || t.back() != '0';  // trailing zeros are trimmed
}

// The C library's correctly rounded six-decimal text (ties to even, as
// exact halves such as 0.0234375 need), trailing zeros and point dropped.
std::string FixedSix(double value) {
    char text[400];
    std::snprintf(text, sizeof text, "%.6f", value);
    std::string t = text;
    while (t.back() == '0') t.pop_back();
    if (t.back() == '.') t.pop_back();
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    TypedArg arg;
    arg.tag = kTags[data[0] % (sizeof kTags / sizeof kTags[0])];
    std::memcpy(&arg.value, data + 1, 8);
    TextValue text = ToText(1, arg);
    std::string got = text ? text : "";
    if (text && got.empty()) std::abort();  // empty results are null
    switch (arg.tag) {
    case TypeTag::Omitted:
        if (text) std::abort();
        break;
    case TypeTag::Double:
    case TypeTag::Float: {
        if (!IsNumberText(got)) std::abort();
        double value = arg.tag == TypeTag::Float ? arg.AsFloat() : arg.AsDouble();
        if (std::isfinite(value) && got != FixedSix(value)) std::abort();
        break;
    }
    case TypeTag::DateTime:
        if (got.size() >= 260) std::abort();
        break;
    case TypeTag::Bool: break;
    default:
        if (!IsNumberText(got) || got.find('.') != std::string::npos) std::abort();
    }
    ReleaseBlock(text);
    return 0;
}
