#include "Characters.h"

#include "csv/CSVParseError.h"
#include "csv/Messages.h"

#include "platform/Error.h"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace csv::detail {

namespace {

constexpr std::size_t kLongestCodePoint = 4;

struct CodePoint {
    std::int32_t value;  // negative for a byte sequence that is not UTF-8
    std::size_t length;  // bytes taken, at least 1
};

// The code point at `offset`. ICU refuses overlong forms, surrogates and
// values past U+10FFFF; it counts in 32 bits, so it sees only the bytes of
// one code point at most.
CodePoint decode(std::string_view text, std::size_t offset) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data() + offset);
    const auto length = static_cast<std::int32_t>(std::min(text.size() - offset, kLongestCodePoint));
    std::int32_t taken = 0;
    UChar32 value = 0;
    U8_NEXT(bytes, taken, length, value);
    return {value, static_cast<std::size_t>(taken)};
}

UErrorCode throwOnFailure(UErrorCode status, const char* what) {
    if (U_FAILURE(status)) {
        throw platform::Error(CSVFileError::textProcessingFailed,
                              std::string("Could not process the text (") + what + ").",
                              platform::Error(std::string(kICUErrorDomain), status, u_errorName(status)));
    }
    return status;
}

// Opening a character break iterator loads rules and costs far more than a
// short parse, so each thread keeps the ones its scanners are done with.
class BreakIteratorPool {
public:
    BreakIteratorPool() = default;
    BreakIteratorPool(const BreakIteratorPool&) = delete;
    BreakIteratorPool& operator=(const BreakIteratorPool&) = delete;
    ~BreakIteratorPool() {
        for (UBreakIterator* iterator : idle_) {
            ubrk_close(iterator);
        }
    }

    UBreakIterator* take() {
        if (!idle_.empty()) {
            UBreakIterator* iterator = idle_.back();
            idle_.pop_back();
            return iterator;
        }
        UErrorCode status = U_ZERO_ERROR;
        UBreakIterator* iterator = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
        throwOnFailure(status, "ubrk_open");
        return iterator;
    }

    void giveBack(UBreakIterator* iterator) noexcept {
        // Let go of the scanner's text before keeping the iterator.
        UErrorCode status = U_ZERO_ERROR;
        ubrk_setText(iterator, nullptr, 0, &status);
        if (U_SUCCESS(status) && idle_.size() < kKept) {
            idle_.push_back(iterator);
        } else {
            ubrk_close(iterator);
        }
    }

private:
    static constexpr std::size_t kKept = 16;  // scanners alive at once on one thread
    std::vector<UBreakIterator*> idle_;
};

BreakIteratorPool& breakIteratorPool() {
    thread_local BreakIteratorPool pool;
    return pool;
}

const icu::Normalizer2& nfc() {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* instance = icu::Normalizer2::getNFCInstance(status);
    throwOnFailure(status, "NFC instance");
    return *instance;
}

bool isNFC(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const bool normalized =
        nfc().isNormalizedUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())), status);
    // Text that is not UTF-8 has no normal form; it stands for itself.
    return normalized || U_FAILURE(status);
}

std::string normalizedNFC(std::string_view text) {
    // ASCII is its own normal form.
    if (std::all_of(text.begin(), text.end(), [](char byte) { return static_cast<unsigned char>(byte) < 0x80; })) {
        return std::string(text);
    }
    if (isNFC(text)) {
        return std::string(text);
    }
    std::string normalized;
    icu::StringByteSink<std::string> sink(&normalized);
    UErrorCode status = U_ZERO_ERROR;
    nfc().normalizeUTF8(0, icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())), sink, nullptr,
                        status);
    return U_SUCCESS(status) ? normalized : std::string(text);
}

}  // namespace

std::size_t validUTF8Length(std::string_view bytes) {
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        // Whole words of ASCII at a time: most CSV text is plain, and ICU's
        // decoder takes one code point per step.
        while (offset + 8 <= bytes.size()) {
            std::uint64_t word;
            std::copy_n(bytes.data() + offset, 8, reinterpret_cast<char*>(&word));
            if ((word & 0x8080808080808080ULL) != 0) {
                break;
            }
            offset += 8;
        }
        if (offset == bytes.size()) {
            break;
        }
        const CodePoint codePoint = decode(bytes, offset);
        if (codePoint.value < 0) {
            return offset;
        }
        offset += codePoint.length;
    }
    return bytes.size();
}

void requireUTF8(std::string_view bytes, std::size_t baseOffset) {
    const std::size_t valid = validUTF8Length(bytes);
    if (valid != bytes.size()) {
        throw CSVParseError::generic(std::string(messages::kInvalidUTF8) + std::to_string(baseOffset + valid));
    }
}

void GraphemeScanner::TextCloser::operator()(UText* text) const noexcept { utext_close(text); }

void GraphemeScanner::BreakIteratorCloser::operator()(UBreakIterator* iterator) const noexcept {
    breakIteratorPool().giveBack(iterator);
}

GraphemeScanner::GraphemeScanner(std::string_view text, Validation validation, std::size_t windowBytes)
    : text_(text),
      validation_(validation),
      windowBytes_(std::clamp<std::size_t>(windowBytes, 4 * kLongestCodePoint, std::size_t{1} << 30)) {}

GraphemeScanner::~GraphemeScanner() = default;

std::string_view GraphemeScanner::next() {
    const std::size_t size = text_.size();
    if (offset_ >= size) {
        return {};
    }
    const auto byteAt = [&](std::size_t index) { return static_cast<unsigned char>(text_[index]); };
    const unsigned char first = byteAt(offset_);
    std::size_t end = 0;
    if (first == '\r') {
        end = offset_ + (offset_ + 1 < size && byteAt(offset_ + 1) == '\n' ? 2 : 1);
    } else if (first < 0x80 && (offset_ + 1 == size || byteAt(offset_ + 1) < 0x80 || first < 0x20 || first == 0x7F)) {
        // Between two ASCII characters, and after a control character,
        // there is always a boundary (CR LF aside).
        end = offset_ + 1;
    } else {
        end = clusterEndFromICU();
        if (validation_ == Validation::checked) {
            requireUTF8(text_.substr(offset_, end - offset_), offset_);
        }
    }
    const std::string_view cluster = text_.substr(offset_, end - offset_);
    offset_ = end;
    return cluster;
}

void GraphemeScanner::openWindowAt(std::size_t start) {
    if (!breaker_) {
        breaker_.reset(breakIteratorPool().take());
    }
    windowStart_ = start;
    windowEnd_ = std::min(text_.size(), start + windowBytes_);
    UErrorCode status = U_ZERO_ERROR;
    UText* window = utext_openUTF8(window_.release(), text_.data() + windowStart_,
                                   static_cast<std::int64_t>(windowEnd_ - windowStart_), &status);
    window_.reset(window);
    throwOnFailure(status, "utext_openUTF8");
    ubrk_setUText(breaker_.get(), window_.get(), &status);
    throwOnFailure(status, "ubrk_setUText");
}

std::size_t GraphemeScanner::clusterEndFromICU() {
    // The window may start at any cluster boundary: what comes before a
    // boundary never changes the clusters after it.
    if (!breaker_ || offset_ < windowStart_ || offset_ - windowStart_ > windowBytes_ / 2) {
        openWindowAt(offset_);
    }
    for (;;) {
        const std::int32_t relative = ubrk_following(breaker_.get(), static_cast<std::int32_t>(offset_ - windowStart_));
        const std::size_t end = relative == UBRK_DONE ? windowEnd_ : windowStart_ + static_cast<std::size_t>(relative);
        // A boundary depends on the code point after it, which must lie
        // whole inside the window (a cut one reads as U+FFFD).
        const bool settled = windowEnd_ == text_.size() || end + kLongestCodePoint <= windowEnd_;
        if (settled || windowStart_ == offset_) {
            // A cluster about as long as a whole window is cut there.
            return std::max(end, offset_ + 1);
        }
        openWindowAt(offset_);
    }
}

bool isOneCharacter(std::string_view text) {
    if (text.empty() || validUTF8Length(text) != text.size()) {
        return false;
    }
    GraphemeScanner scanner(text);
    return scanner.next().size() == text.size();
}

bool canonicallyEqual(std::string_view first, std::string_view second) {
    return first == second || normalizedNFC(first) == normalizedNFC(second);
}

bool isWhiteSpace(std::string_view character) {
    if (character.empty()) {
        return false;
    }
    for (std::size_t offset = 0; offset < character.size();) {
        const CodePoint codePoint = decode(character, offset);
        if (codePoint.value < 0 || !u_isUWhiteSpace(codePoint.value)) {
            return false;
        }
        offset += codePoint.length;
    }
    return true;
}

std::size_t skipBlankExceptTab(std::string_view text) {
    std::size_t offset = 0;
    while (offset < text.size()) {
        const CodePoint codePoint = decode(text, offset);
        if (codePoint.value < 0 || codePoint.value == '\t' || !u_isUWhiteSpace(codePoint.value)) {
            break;
        }
        offset += codePoint.length;
    }
    return offset;
}

CharacterClasses::CharacterClasses(const CSVDelimiter& delimiter)
    : raw_(delimiter.rawCharacter()),
      normalized_(normalizedNFC(raw_)),
      asciiDelimiter_(normalized_.size() == 1 ? static_cast<unsigned char>(normalized_[0]) : -1) {}

CharacterClass CharacterClasses::classifyWide(std::string_view character) const {
    // Some characters stand for another, such as U+037E for ";"; ASCII is
    // its own normal form.
    const bool delimiter =
        character == raw_ || (character.size() > 1 &&
                              (isNFC(character) ? character == normalized_ : normalizedNFC(character) == normalized_));
    if (delimiter) {
        return CharacterClass::delimiter;
    }
    return isWhiteSpace(character) ? CharacterClass::blank : CharacterClass::other;
}

}  // namespace csv::detail
