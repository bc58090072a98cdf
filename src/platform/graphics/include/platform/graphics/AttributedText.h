#pragma once

#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Path.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::graphics {

class Canvas;

enum class Alignment { left, center, right, justified };

// Applies to whole paragraphs: a paragraph takes the style of its first
// character. Paragraphs end at "\n", "\r", "\r\n", U+2029 and at a form feed,
// which also breaks the page in a `TextFlow`.
struct ParagraphStyle {
    Alignment alignment = Alignment::left;  // justified leaves each paragraph's last line ragged
    double lineSpacing = 0;                 // added below every line
    double paragraphSpacing = 0;            // added below the paragraph's last line
    double paragraphSpacingBefore = 0;      // added above its first line, except at the top of a frame
    double firstLineHeadIndent = 0;         // leading edge to the first line
    double headIndent = 0;                  // leading edge to every other line
    double tailIndent = 0;                  // trailing edge to every line

    friend bool operator==(const ParagraphStyle&, const ParagraphStyle&) = default;
};

struct TextStyle {
    Font font = Font::system(12);
    Color color = colors::black;
    bool underline = false;
    ParagraphStyle paragraph{};

    friend bool operator==(const TextStyle&, const TextStyle&) = default;
};

// An object set inline in a line of text: it reserves `size`, standing on
// the baseline, and draws itself there.
struct Attachment {
    Size size;
    // Draws in the box's own coordinates, as on a small page of its own:
    // origin at the box's bottom-left corner, y up.
    std::function<void(Canvas&)> draw;

    // A box that strokes `path` (in box coordinates), e.g. a signature.
    static std::shared_ptr<const Attachment> strokedPath(Size size, Path path, Stroke stroke);
};

// UTF-8 text with runs of styles and inline attachments. Offsets are byte
// offsets into `string()`. Text given in invalid UTF-8, and NUL characters,
// are stored as U+FFFD so that every layout sees valid text.
class AttributedText {
public:
    struct Run {
        std::size_t begin = 0;
        std::size_t end = 0;
        std::size_t style = 0;                         // index into styles()
        std::shared_ptr<const Attachment> attachment;  // set: the run is one U+FFFC

        friend bool operator==(const Run&, const Run&) = default;
    };

    // The character that stands for an attachment in `string()`.
    static constexpr std::string_view kAttachmentCharacter = "\xEF\xBF\xBC";

    AttributedText() = default;
    AttributedText(std::string_view text, const TextStyle& style);

    AttributedText& append(std::string_view text, const TextStyle& style);
    AttributedText& append(const AttributedText& other);
    // The style's font and paragraph style apply to the attachment's line.
    AttributedText& appendAttachment(std::shared_ptr<const Attachment> attachment, const TextStyle& style);

    // Gives every run the same paragraph style.
    AttributedText& setParagraphStyle(const ParagraphStyle& paragraph);

    const std::string& string() const noexcept { return text_; }
    bool empty() const noexcept { return text_.empty(); }
    std::size_t size() const noexcept { return text_.size(); }
    std::span<const Run> runs() const noexcept { return runs_; }
    std::span<const TextStyle> styles() const noexcept { return styles_; }

    // The style in force at byte `offset` (the last run's for the end).
    // An empty text answers a default style.
    const TextStyle& styleAt(std::size_t offset) const;
    // Index of the run holding byte `offset`; runs().size() when there is none.
    std::size_t runIndexAt(std::size_t offset) const;

    friend bool operator==(const AttributedText&, const AttributedText&) = default;

private:
    std::size_t internStyle(const TextStyle& style);
    void appendRun(std::string_view validText, std::size_t style, std::shared_ptr<const Attachment> attachment);

    std::string text_;
    std::vector<TextStyle> styles_;
    std::vector<Run> runs_;
};

}  // namespace platform::graphics
