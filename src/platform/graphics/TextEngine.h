#pragma once

// The paragraph layout engine behind Typesetter, Canvas and TextFlow. Pango
// lays out one paragraph at a time (alignment, indents and spacing differ
// between paragraphs); we stack the lines into frames ourselves.

#include "Handles.h"
#include "platform/graphics/AttributedText.h"
#include "platform/graphics/Typesetter.h"

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace platform::graphics::detail {

struct ParagraphSpan {
    std::size_t begin = 0;       // first byte of the paragraph
    std::size_t contentEnd = 0;  // first byte of its terminator
    std::size_t end = 0;         // first byte after its terminator
    bool breaksPage = false;     // ended by a form feed
};

// Paragraphs end at "\n", "\r", "\r\n", U+2029 and "\f". A text that ends
// with a terminator has no empty paragraph after it.
std::vector<ParagraphSpan> splitParagraphs(std::string_view text);

// One line of a laid-out paragraph, in points.
struct LineBox {
    double x = 0;           // left end, from the frame's left edge
    double width = 0;       // advance width
    double ascent = 0;      // top of the line box to the baseline
    double height = 0;      // height of the line box
    std::size_t start = 0;  // byte offset of the line in the whole text
};

// One paragraph laid out by pango at a width (or unbounded). Pango measures
// a run's width in 32-bit units of 1/1024 pt, which overflow at a few
// hundred kilobytes of text, so long paragraphs are laid out in pieces: each
// piece keeps all its lines but the last, and the next piece starts where
// that line started, which gives the same lines as one layout would.
class ParagraphLayout {
public:
    ParagraphLayout(Typesetter::Impl& typesetter, const AttributedText& text, const ParagraphSpan& span, double width);

    const ParagraphStyle& style() const noexcept { return style_; }
    const std::vector<LineBox>& lines() const noexcept { return lines_; }
    PangoLayoutLine* pangoLine(int index) const;

    // Attachments in line `index`: box left end from the line's left end.
    struct AttachmentBox {
        double x = 0;
        const Attachment* attachment = nullptr;
    };
    std::vector<AttachmentBox> attachments(int index) const;

private:
    // Lays out text[begin, end) and returns its layout.
    GObjectPtr<PangoLayout> layoutPiece(Typesetter::Impl& typesetter, const AttributedText& text, std::size_t begin,
                                        std::size_t end, bool firstPiece);

    ParagraphStyle style_;
    double width_;
    std::vector<std::shared_ptr<const Attachment>> attachments_;  // shape datum n is attachments_[n - 1]
    std::vector<GObjectPtr<PangoLayout>> pieces_;
    std::vector<LineBox> lines_;
    std::vector<PangoLayoutLine*> pangoLines_;  // owned by pieces_
};

struct PlacedLine {
    std::size_t paragraph = 0;
    int line = 0;
    double x = 0;         // left end, from the frame's left edge
    double top = 0;       // from the frame's top
    double baseline = 0;  // from the frame's top
    double height = 0;
    double width = 0;
};

struct Frame {
    std::size_t begin = 0;  // byte range of the text in the frame
    std::size_t end = 0;
    std::size_t firstLine = 0;  // index into TextLayout::lines
    std::size_t lineCount = 0;
    double usedWidth = 0;
    double usedHeight = 0;
};

struct LayoutRequest {
    double width = kUnbounded;
    double height = kUnbounded;
    bool paginate = false;     // more frames after the first one fills; else the rest is left out
    bool keepLayouts = false;  // keep each paragraph's pango layout for drawing
};

struct TextLayout {
    std::vector<ParagraphSpan> paragraphs;
    std::vector<std::unique_ptr<ParagraphLayout>> layouts;  // per paragraph when kept, else empty
    std::vector<PlacedLine> lines;
    std::vector<Frame> frames;  // none for an empty text

    Size usedSize() const noexcept;  // of the first frame
};

TextLayout layoutText(Typesetter::Impl& typesetter, const AttributedText& text, const LayoutRequest& request);

}  // namespace platform::graphics::detail

namespace platform::graphics {

struct Typesetter::Impl {
    Impl();

    PangoContext* context() const noexcept { return context_.get(); }
    // The description for `font`, made once per typesetter.
    const PangoFontDescription* description(const Font& font);

    // The single-frame layout of `text`, reused while the same text and
    // frame are asked for again (a page drawn over and over, a line
    // measured and then drawn). Holders keep it alive while they draw, even
    // if drawing asks for another layout.
    std::shared_ptr<const detail::TextLayout> frameLayout(const AttributedText& text, double width, double height);

private:
    detail::GObjectPtr<PangoFontMap> fontMap_;
    detail::GObjectPtr<PangoContext> context_;
    std::vector<std::pair<Font, detail::FontDescriptionPtr>> descriptions_;

    std::unique_ptr<AttributedText> lastText_;
    double lastWidth_ = 0;
    double lastHeight_ = 0;
    std::shared_ptr<const detail::TextLayout> lastLayout_;
};

// The library's way to a typesetter's implementation.
struct TypesetterAccess {
    static Typesetter::Impl& impl(Typesetter& typesetter) noexcept { return *typesetter.impl_; }
};

}  // namespace platform::graphics
