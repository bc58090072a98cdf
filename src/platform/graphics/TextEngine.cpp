#include "TextEngine.h"

#include "platform/Error.h"
#include "platform/graphics/GraphicsErrors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace platform::graphics::detail {

namespace {

// Pango works in integer units of 1/1024 pt; a line fits with two units to spare.
constexpr double kFitTolerance = 1.0 / 512;
constexpr std::string_view kParagraphSeparator = "\xE2\x80\xA9";
// Pango lays a paragraph out as one piece up to this size (see ParagraphLayout).
constexpr std::size_t kPieceBytes = 4096;

guint16 colorComponent(double value) {
    if (!(value > 0)) {
        return 0;
    }
    return static_cast<guint16>(std::lround(std::min(value, 1.0) * 65535.0));
}

PangoAlignment pangoAlignment(Alignment alignment) {
    switch (alignment) {
    case Alignment::center:
        return PANGO_ALIGN_CENTER;
    case Alignment::right:
        return PANGO_ALIGN_RIGHT;
    case Alignment::left:
    case Alignment::justified:
        break;
    }
    return PANGO_ALIGN_LEFT;
}

void insertAttribute(PangoAttrList* list, PangoAttribute* attribute, std::size_t start, std::size_t end) {
    attribute->start_index = static_cast<guint>(start);
    attribute->end_index = static_cast<guint>(end);
    pango_attr_list_insert(list, attribute);
}

}  // namespace

std::vector<ParagraphSpan> splitParagraphs(std::string_view text) {
    std::vector<ParagraphSpan> paragraphs;
    std::size_t begin = 0;
    std::size_t index = 0;
    while (index < text.size()) {
        std::size_t terminator = 0;
        bool breaksPage = false;
        switch (text[index]) {
        case '\n':
            terminator = 1;
            break;
        case '\r':
            terminator = index + 1 < text.size() && text[index + 1] == '\n' ? 2 : 1;
            break;
        case '\f':
            terminator = 1;
            breaksPage = true;
            break;
        case '\xE2':
            if (text.substr(index, kParagraphSeparator.size()) == kParagraphSeparator) {
                terminator = kParagraphSeparator.size();
            }
            break;
        default:
            break;
        }
        if (terminator == 0) {
            ++index;
            continue;
        }
        paragraphs.push_back({begin, index, index + terminator, breaksPage});
        index += terminator;
        begin = index;
    }
    if (begin < text.size()) {
        paragraphs.push_back({begin, text.size(), text.size(), false});
    }
    return paragraphs;
}

ParagraphLayout::ParagraphLayout(Typesetter::Impl& typesetter, const AttributedText& text, const ParagraphSpan& span,
                                 double width)
    : style_(text.styleAt(span.begin).paragraph), width_(width) {
    std::size_t begin = span.begin;
    bool firstPiece = true;
    while (true) {
        std::size_t end = span.contentEnd;
        const bool lastPiece = end - begin <= kPieceBytes;
        if (!lastPiece) {
            end = begin + kPieceBytes;
            while ((static_cast<unsigned char>(text.string()[end]) & 0xC0) == 0x80) {
                --end;  // not inside a character
            }
        }
        GObjectPtr<PangoLayout> piece = layoutPiece(typesetter, text, begin, end, firstPiece);
        const double lead = firstPiece ? std::min(style_.firstLineHeadIndent, style_.headIndent) : style_.headIndent;
        const std::size_t firstLine = lines_.size();
        LayoutIterPtr iterator(pango_layout_get_iter(piece.get()));
        do {
            PangoRectangle logical;
            pango_layout_iter_get_line_extents(iterator.get(), nullptr, &logical);
            const int baseline = pango_layout_iter_get_baseline(iterator.get());
            PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iterator.get());
            LineBox box;
            box.x = lead + pango_units_to_double(logical.x);
            box.width = pango_units_to_double(logical.width);
            box.ascent = pango_units_to_double(baseline - logical.y);
            box.height = pango_units_to_double(logical.height);
            box.start = begin + static_cast<std::size_t>(line->start_index);
            lines_.push_back(box);
            pangoLines_.push_back(line);
        } while (pango_layout_iter_next_line(iterator.get()));
        pieces_.push_back(std::move(piece));
        if (lastPiece) {
            break;
        }
        // The piece's last line may have been cut short by the piece's end:
        // lay it out again at the start of the next piece. A piece of one
        // line (no wrapping) keeps it.
        if (lines_.size() - firstLine > 1) {
            begin = lines_.back().start;
            lines_.pop_back();
            pangoLines_.pop_back();
        } else {
            begin = end;
        }
        firstPiece = false;
    }
}

GObjectPtr<PangoLayout> ParagraphLayout::layoutPiece(Typesetter::Impl& typesetter, const AttributedText& text,
                                                     std::size_t begin, std::size_t end, bool firstPiece) {
    GObjectPtr<PangoLayout> piece(pango_layout_new(typesetter.context()));
    PangoLayout* layout = piece.get();
    const std::string_view content = std::string_view(text.string()).substr(begin, end - begin);
    pango_layout_set_text(layout, content.data(), static_cast<int>(content.size()));
    pango_layout_set_font_description(layout, typesetter.description(text.styleAt(begin).font));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);

    const double lead = firstPiece ? std::min(style_.firstLineHeadIndent, style_.headIndent) : style_.headIndent;
    if (std::isfinite(width_)) {
        const double available = std::max(0.0, width_ - lead - style_.tailIndent);
        pango_layout_set_width(layout, pango_units_from_double(available));
        pango_layout_set_alignment(layout, pangoAlignment(style_.alignment));
        pango_layout_set_justify(layout, style_.alignment == Alignment::justified);
    }
    if (firstPiece) {
        // Positive: the first line starts further in; negative: the others do.
        pango_layout_set_indent(layout, pango_units_from_double(style_.firstLineHeadIndent - style_.headIndent));
    }

    AttrListPtr attributes(pango_attr_list_new());
    PangoAttrList* list = attributes.get();
    const auto runs = text.runs();
    for (std::size_t index = text.runIndexAt(begin); index < runs.size() && runs[index].begin < end; ++index) {
        const AttributedText::Run& run = runs[index];
        const std::size_t start = std::max(run.begin, begin) - begin;
        const std::size_t stop = std::min(run.end, end) - begin;
        if (start >= stop) {
            continue;
        }
        const TextStyle& style = text.styles()[run.style];
        insertAttribute(list, pango_attr_font_desc_new(typesetter.description(style.font)), start, stop);
        insertAttribute(list,
                        pango_attr_foreground_new(colorComponent(style.color.red), colorComponent(style.color.green),
                                                  colorComponent(style.color.blue)),
                        start, stop);
        if (style.color.alpha < 1) {
            // Pango reads an alpha of 0 as "not set", so the faintest it can be is 1.
            insertAttribute(list,
                            pango_attr_foreground_alpha_new(std::max<guint16>(1, colorComponent(style.color.alpha))),
                            start, stop);
        }
        if (style.underline) {
            insertAttribute(list, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE), start, stop);
        }
        if (run.attachment) {
            const Size size = run.attachment->size;
            const PangoRectangle box{0, -pango_units_from_double(size.height), pango_units_from_double(size.width),
                                     pango_units_from_double(size.height)};
            attachments_.push_back(run.attachment);
            // A distinct datum per attachment keeps neighbouring ones in items of their own.
            const auto datum = reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(attachments_.size()));
            insertAttribute(list, pango_attr_shape_new_with_data(&box, &box, datum, nullptr, nullptr), start, stop);
        }
    }
    pango_layout_set_attributes(layout, list);
    return piece;
}

PangoLayoutLine* ParagraphLayout::pangoLine(int index) const { return pangoLines_.at(static_cast<std::size_t>(index)); }

std::vector<ParagraphLayout::AttachmentBox> ParagraphLayout::attachments(int index) const {
    std::vector<AttachmentBox> boxes;
    if (attachments_.empty()) {
        return boxes;
    }
    const PangoLayoutLine* line = pangoLine(index);
    double x = 0;
    for (const GSList* item = line != nullptr ? line->runs : nullptr; item != nullptr; item = item->next) {
        const auto* run = static_cast<const PangoGlyphItem*>(item->data);
        for (const GSList* extra = run->item->analysis.extra_attrs; extra != nullptr; extra = extra->next) {
            const auto* attribute = static_cast<const PangoAttribute*>(extra->data);
            if (attribute->klass->type != PANGO_ATTR_SHAPE) {
                continue;
            }
            const auto datum =
                reinterpret_cast<std::uintptr_t>(reinterpret_cast<const PangoAttrShape*>(attribute)->data);
            if (datum >= 1 && datum <= attachments_.size()) {
                boxes.push_back({x, attachments_[datum - 1].get()});
            }
        }
        x += pango_units_to_double(pango_glyph_string_get_width(run->glyphs));
    }
    return boxes;
}

Size TextLayout::usedSize() const noexcept {
    if (frames.empty()) {
        return {};
    }
    return {frames.front().usedWidth, frames.front().usedHeight};
}

TextLayout layoutText(Typesetter::Impl& typesetter, const AttributedText& text, const LayoutRequest& request) {
    if (std::isnan(request.width) || std::isnan(request.height)) {
        throw platform::Error(TypesetterError::invalidFrame, "The text frame size is not a number.");
    }
    TextLayout result;
    result.paragraphs = splitParagraphs(text.string());
    if (result.paragraphs.empty()) {
        return result;
    }
    if (request.keepLayouts) {
        result.layouts.resize(result.paragraphs.size());
    }
    result.frames.push_back(Frame{});
    const auto startFrame = [&result](std::size_t begin) {
        result.frames.back().end = begin;
        Frame next;
        next.begin = begin;
        next.firstLine = result.lines.size();
        result.frames.push_back(next);
    };

    const double limit = request.height + kFitTolerance;
    double cursor = 0;  // top of the next line, from the frame's top
    bool full = false;
    for (std::size_t index = 0; index < result.paragraphs.size() && !full; ++index) {
        const ParagraphSpan& span = result.paragraphs[index];
        // A form feed right after a line break holds no line of its own.
        const bool bareBreak = span.breaksPage && span.begin == span.contentEnd;
        if (!bareBreak) {
            auto layout = std::make_unique<ParagraphLayout>(typesetter, text, span, request.width);
            const ParagraphStyle& style = layout->style();
            const std::vector<LineBox>& lines = layout->lines();
            for (std::size_t line = 0; line < lines.size(); ++line) {
                const LineBox& box = lines[line];
                double top = cursor;
                if (line == 0 && result.frames.back().lineCount > 0) {
                    top += style.paragraphSpacingBefore;
                }
                // Every frame takes at least one line, so a line taller than
                // the frame cannot stall the flow.
                if (result.frames.back().lineCount > 0 && top + box.height > limit) {
                    if (!request.paginate) {
                        full = true;
                        break;
                    }
                    startFrame(box.start);
                    top = 0;
                }
                Frame& frame = result.frames.back();
                result.lines.push_back(
                    {index, static_cast<int>(line), box.x, top, top + box.ascent, box.height, box.width});
                ++frame.lineCount;
                frame.usedHeight = top + box.height;
                frame.usedWidth = std::max(frame.usedWidth, box.x + box.width);
                cursor = top + box.height + style.lineSpacing;
                if (line + 1 == lines.size()) {
                    cursor += style.paragraphSpacing;
                }
            }
            if (request.keepLayouts) {
                result.layouts[index] = std::move(layout);
            }
        }
        if (span.breaksPage && request.paginate && span.end < text.size()) {
            startFrame(span.end);
            cursor = 0;
        }
    }
    result.frames.back().end = text.size();

    if (!std::isfinite(request.width)) {
        // Unbounded lines never wrap, so centring and right alignment are
        // offsets within the widest line.
        double frameWidth = 0;
        for (const PlacedLine& line : result.lines) {
            const ParagraphStyle& style = text.styleAt(result.paragraphs[line.paragraph].begin).paragraph;
            frameWidth = std::max(frameWidth, line.x + line.width + style.tailIndent);
        }
        for (PlacedLine& line : result.lines) {
            const ParagraphStyle& style = text.styleAt(result.paragraphs[line.paragraph].begin).paragraph;
            const double lead = line.line == 0 ? style.firstLineHeadIndent : style.headIndent;
            const double room = frameWidth - lead - style.tailIndent - line.width;
            if (style.alignment == Alignment::center) {
                line.x = lead + room / 2;
            } else if (style.alignment == Alignment::right) {
                line.x = lead + room;
            }
        }
        for (Frame& frame : result.frames) {
            frame.usedWidth = std::max(frame.usedWidth, frame.lineCount > 0 ? frameWidth : 0.0);
        }
    }
    return result;
}

}  // namespace platform::graphics::detail
