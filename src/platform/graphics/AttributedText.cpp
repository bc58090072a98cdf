#include "platform/graphics/AttributedText.h"

#include "platform/graphics/Canvas.h"

#include <algorithm>
#include <stdexcept>

namespace platform::graphics {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at the start of `text`, or 0.
std::size_t sequenceLength(std::string_view text) {
    const auto byte = [&text](std::size_t index) { return static_cast<unsigned char>(text[index]); };
    const unsigned char lead = byte(0);
    if (lead >= 0x01 && lead <= 0x7F) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t index = 2; index < length; ++index) {
        if (byte(index) < 0x80 || byte(index) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// `text` with every ill-formed byte and every NUL replaced by U+FFFD.
std::string validUtf8(std::string_view text) {
    std::string valid;
    valid.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = sequenceLength(text);
        if (length == 0) {
            valid += kReplacementCharacter;
            text.remove_prefix(1);
        } else {
            valid.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return valid;
}

}  // namespace

std::shared_ptr<const Attachment> Attachment::strokedPath(Size size, Path path, Stroke stroke) {
    return std::make_shared<const Attachment>(
        Attachment{size, [path = std::move(path), stroke](Canvas& canvas) { canvas.strokePath(path, stroke); }});
}

AttributedText::AttributedText(std::string_view text, const TextStyle& style) { append(text, style); }

AttributedText& AttributedText::append(std::string_view text, const TextStyle& style) {
    if (!text.empty()) {
        appendRun(validUtf8(text), internStyle(style), nullptr);
    }
    return *this;
}

AttributedText& AttributedText::append(const AttributedText& other) {
    if (&other == this) {
        const AttributedText copy = other;
        return append(copy);
    }
    const std::string_view text = other.text_;
    for (const Run& run : other.runs_) {
        appendRun(text.substr(run.begin, run.end - run.begin), internStyle(other.styles_[run.style]), run.attachment);
    }
    return *this;
}

AttributedText& AttributedText::appendAttachment(std::shared_ptr<const Attachment> attachment, const TextStyle& style) {
    if (!attachment) {
        throw std::invalid_argument("appendAttachment needs an attachment");
    }
    appendRun(kAttachmentCharacter, internStyle(style), std::move(attachment));
    return *this;
}

AttributedText& AttributedText::setParagraphStyle(const ParagraphStyle& paragraph) {
    for (TextStyle& style : styles_) {
        style.paragraph = paragraph;
    }
    return *this;
}

const TextStyle& AttributedText::styleAt(std::size_t offset) const {
    static const TextStyle defaultStyle;
    if (runs_.empty()) {
        return defaultStyle;
    }
    const std::size_t index = runIndexAt(offset);
    return styles_[index < runs_.size() ? runs_[index].style : runs_.back().style];
}

std::size_t AttributedText::runIndexAt(std::size_t offset) const {
    if (offset >= text_.size()) {
        return runs_.size();
    }
    const auto after = std::upper_bound(runs_.begin(), runs_.end(), offset,
                                        [](std::size_t value, const Run& run) { return value < run.begin; });
    return static_cast<std::size_t>(after - runs_.begin()) - 1;
}

std::size_t AttributedText::internStyle(const TextStyle& style) {
    for (std::size_t index = styles_.size(); index > 0; --index) {
        if (styles_[index - 1] == style) {
            return index - 1;
        }
    }
    styles_.push_back(style);
    return styles_.size() - 1;
}

void AttributedText::appendRun(std::string_view validText, std::size_t style,
                               std::shared_ptr<const Attachment> attachment) {
    const std::size_t begin = text_.size();
    text_.append(validText);
    if (!attachment && !runs_.empty() && runs_.back().style == style && !runs_.back().attachment) {
        runs_.back().end = text_.size();
        return;
    }
    runs_.push_back(Run{begin, text_.size(), style, std::move(attachment)});
}

}  // namespace platform::graphics
