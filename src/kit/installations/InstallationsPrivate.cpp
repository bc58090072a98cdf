#include "InstallationsPrivate.h"

#include "kit/installations/InstallationsDateProvider.h"

#include "platform/concurrency/SerialQueue.h"

namespace kit::installations::detail {

std::string URLSafeBase64(std::span<const std::uint8_t> bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t index = 0;
    for (; index + 3 <= bytes.size(); index += 3) {
        const std::uint32_t group = (bytes[index] << 16) | (bytes[index + 1] << 8) | bytes[index + 2];
        text += kAlphabet[(group >> 18) & 0x3f];
        text += kAlphabet[(group >> 12) & 0x3f];
        text += kAlphabet[(group >> 6) & 0x3f];
        text += kAlphabet[group & 0x3f];
    }
    const std::size_t rest = bytes.size() - index;
    if (rest > 0) {
        std::uint32_t group = bytes[index] << 16;
        if (rest == 2) {
            group |= bytes[index + 1] << 8;
        }
        text += kAlphabet[(group >> 18) & 0x3f];
        text += kAlphabet[(group >> 12) & 0x3f];
        text += rest == 2 ? kAlphabet[(group >> 6) & 0x3f] : '=';
        text += '=';
    }
    return text;
}

promises::Queue utilityQueue() {
    // The pool lives as long as the process: the handle owns nothing.
    return promises::Queue(std::shared_ptr<void>(), &platform::globalQueue());
}

bool isValidUTF8(std::span<const std::uint8_t> bytes) {
    std::size_t index = 0;
    while (index < bytes.size()) {
        const std::uint8_t lead = bytes[index];
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        if (lead < 0x80) {
            ++index;
            continue;
        } else if ((lead & 0xe0) == 0xc0) {
            length = 2;
            codePoint = lead & 0x1f;
        } else if ((lead & 0xf0) == 0xe0) {
            length = 3;
            codePoint = lead & 0x0f;
        } else if ((lead & 0xf8) == 0xf0) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            return false;
        }
        if (index + length > bytes.size()) {
            return false;
        }
        for (std::size_t next = 1; next < length; ++next) {
            if ((bytes[index + next] & 0xc0) != 0x80) {
                return false;
            }
            codePoint = (codePoint << 6) | (bytes[index + next] & 0x3f);
        }
        static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < kSmallest[length] || codePoint > 0x10ffff || (codePoint >= 0xd800 && codePoint <= 0xdfff)) {
            return false;
        }
        index += length;
    }
    return true;
}

}  // namespace kit::installations::detail

namespace kit::installations {

HLOInstallationsDateProvider defaultDateProvider() {
    return [] { return promises::PromiseClass::schedulingClock()->now(); };
}

bool detail::holdsControlCharacter(std::string_view text) {
    for (std::size_t index = 0; index < text.size(); ++index) {
        const auto byte = static_cast<unsigned char>(text[index]);
        if (byte < 0x20 || byte == 0x7f) {
            return true;
        }
        if (byte == 0xc2 && index + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[index + 1]);
            if (next >= 0x80 && next <= 0x9f) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace kit::installations
