#include "platform/graphics/TextFlow.h"

#include "CanvasImpl.h"
#include "TextEngine.h"

#include <cmath>
#include <stdexcept>

namespace platform::graphics {

struct TextFlow::Lines {
    std::vector<detail::ParagraphSpan> paragraphs;
    std::vector<detail::PlacedLine> lines;
    std::vector<std::size_t> firstLine;  // per page, then one past the last line

    // The paragraph drawn last: a long paragraph runs over several pages,
    // which are drawn one after the other.
    std::unique_ptr<detail::ParagraphLayout> drawnLayout;
    std::size_t drawnParagraph = 0;
};

TextFlow::TextFlow(Typesetter& typesetter, AttributedText text, Size container)
    : typesetter_(typesetter), text_(std::move(text)), container_(container), lines_(std::make_unique<Lines>()) {
    if (!std::isfinite(container.width) || !std::isfinite(container.height) || !(container.width > 0) ||
        !(container.height > 0)) {
        throw std::invalid_argument("text container must be finite and positive");
    }
    detail::LayoutRequest request;
    request.width = container.width;
    request.height = container.height;
    request.paginate = true;
    detail::TextLayout layout = detail::layoutText(TypesetterAccess::impl(typesetter), text_, request);
    pages_.reserve(layout.frames.size());
    for (const detail::Frame& frame : layout.frames) {
        pages_.push_back({frame.begin, frame.end, frame.usedHeight});
        lines_->firstLine.push_back(frame.firstLine);
    }
    lines_->firstLine.push_back(layout.lines.size());
    lines_->paragraphs = std::move(layout.paragraphs);
    lines_->lines = std::move(layout.lines);
}

TextFlow::~TextFlow() = default;
TextFlow::TextFlow(TextFlow&&) noexcept = default;

std::string_view TextFlow::pageText(std::size_t page) const {
    const FlowPage& slice = pages_.at(page);
    return std::string_view(text_.string()).substr(slice.begin, slice.end - slice.begin);
}

void TextFlow::drawPage(Canvas& canvas, std::size_t page, Point at) const {
    if (page >= pages_.size()) {
        throw std::out_of_range("TextFlow::drawPage: no page " + std::to_string(page));
    }
    Canvas::Impl& target = CanvasAccess::impl(canvas);
    const std::size_t first = lines_->firstLine[page];
    const std::size_t last = lines_->firstLine[page + 1];
    // Paragraphs are laid out again as they are drawn; lines of one
    // paragraph follow each other, so one layout at a time is enough.
    Lines& lines = *lines_;
    target.drawLines(std::span(lines.lines).subspan(first, last - first), target.frameTopLeft(at, container_.height),
                     [&](std::size_t paragraph) -> const detail::ParagraphLayout& {
                         if (!lines.drawnLayout || lines.drawnParagraph != paragraph) {
                             lines.drawnLayout.reset();
                             lines.drawnLayout = std::make_unique<detail::ParagraphLayout>(
                                 TypesetterAccess::impl(typesetter_), text_, lines.paragraphs[paragraph],
                                 container_.width);
                             lines.drawnParagraph = paragraph;
                         }
                         return *lines.drawnLayout;
                     });
}

}  // namespace platform::graphics
