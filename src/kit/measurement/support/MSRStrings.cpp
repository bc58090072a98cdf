#include "kit/measurement/support/MSRStrings.h"

#include <unicode/uchar.h>

namespace kit::measurement {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isTrail(unsigned char byte) { return byte >= 0x80 && byte <= 0xBF; }

}  // namespace

char32_t msr_nextCodePoint(std::string_view text, std::size_t& position) {
    const auto byteAt = [&](std::size_t index) { return static_cast<unsigned char>(text[index]); };
    const unsigned char lead = byteAt(position++);
    if (lead < 0x80) {
        return lead;
    }
    int trailCount = 0;
    char32_t codePoint = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trailCount = 1;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trailCount = 2;
        codePoint = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trailCount = 3;
        codePoint = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return kReplacement;
    }
    // Only the first trail byte has a narrowed range; a byte that breaks the
    // sequence is not consumed, so it starts the next code point.
    for (int index = 0; index < trailCount; ++index) {
        if (position >= text.size()) {
            return kReplacement;
        }
        const unsigned char byte = byteAt(position);
        const bool inRange = index == 0 ? (byte >= low && byte <= high) : isTrail(byte);
        if (!inRange) {
            return kReplacement;
        }
        codePoint = (codePoint << 6) | (byte & 0x3F);
        ++position;
    }
    return codePoint;
}

std::size_t msr_UTF32Length(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t position = 0; position < text.size(); ++count) {
        msr_nextCodePoint(text, position);
    }
    return count;
}

void msr_appendUTF8(std::string& text, char32_t codePoint) {
    if (codePoint < 0x80) {
        text.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        text.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        text.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        text.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        text.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        text.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        text.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

std::string msr_substringToCodePoints(std::string_view text, std::size_t count) {
    std::string result;
    std::size_t position = 0;
    for (std::size_t taken = 0; taken < count && position < text.size(); ++taken) {
        msr_appendUTF8(result, msr_nextCodePoint(text, position));
    }
    return result;
}

std::size_t msr_UTF16Length(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t position = 0; position < text.size();) {
        units += msr_nextCodePoint(text, position) >= 0x10000 ? 2 : 1;
    }
    return units;
}

bool msr_isLetter(char32_t codePoint) { return (U_GET_GC_MASK(static_cast<UChar32>(codePoint)) & U_GC_L_MASK) != 0; }

bool msr_isIdentifierCharacter(char32_t codePoint) {
    return codePoint == U'_' || msr_isLetter(codePoint) ||
           u_charType(static_cast<UChar32>(codePoint)) == U_DECIMAL_DIGIT_NUMBER;
}

}  // namespace kit::measurement
