#include "Documents.h"

#include <algorithm>

namespace stubforge {

namespace graphics = platform::graphics;

graphics::Path drawSignatureImage(platform::RandomSource& random, double width, double height) {
    graphics::Path path;
    const std::uint64_t strokes = randomIntBelow(random, 3) + 1;
    for (std::uint64_t stroke = 0; stroke < strokes; ++stroke) {
        const double startX = randomDoubleInRange(random, 0, width);
        const double startY = randomDoubleInClosedRange(random, 0.3 * height, 0.7 * height);
        path.moveTo({startX, startY});
        const std::uint64_t segments = randomIntBelow(random, 5) + 3;
        for (std::uint64_t segment = 0; segment < segments; ++segment) {
            const double x = randomDoubleInRange(random, 0, width);
            const double y = randomDoubleInClosedRange(random, 0.2 * height, 0.8 * height);
            path.lineTo({x, y});
        }
    }
    return path;
}

std::shared_ptr<const graphics::Attachment> signatureAttachment(const graphics::Path& scribble, graphics::Size size) {
    graphics::Stroke stroke;
    stroke.color = graphics::colors::black;
    stroke.width = 2;
    return graphics::Attachment::strokedPath(size, scribble, stroke);
}

std::vector<std::size_t> visiblePages(const graphics::TextFlow& flow) {
    std::vector<std::size_t> visible;
    for (std::size_t page = 0; page < flow.pageCount(); ++page) {
        const std::string_view text = flow.pageText(page);
        const bool blank = std::all_of(text.begin(), text.end(), [](char c) {
            return c == ' ' || c == '\n' || c == '\r' || c == '\f' || c == '\t';
        });
        if (!blank) {
            visible.push_back(page);
        }
    }
    return visible;
}

void drawAgreementPages(DocumentPages& pages, graphics::AttributedText text, const AgreementPageLayout& layout,
                        std::string_view leftFooter, std::string (*rightFooter)(std::size_t, std::size_t)) {
    const graphics::TextFlow flow = paginateText(pages.typesetter(), std::move(text), layout.textArea);
    const std::vector<std::size_t> shown = visiblePages(flow);

    graphics::TextStyle left;
    left.font = layout.footerFont;
    left.paragraph.alignment = graphics::Alignment::left;
    graphics::TextStyle right = left;
    right.paragraph.alignment = graphics::Alignment::right;
    const graphics::AttributedText leftText(leftFooter, left);

    for (std::size_t index = 0; index < shown.size(); ++index) {
        pages.drawPage([&](graphics::Canvas& canvas) {
            flow.drawPage(canvas, shown[index], layout.textOrigin);
            canvas.drawText(leftText, layout.footerLeft);
            canvas.drawText(graphics::AttributedText(rightFooter(index + 1, shown.size()), right), layout.footerRight);
        });
    }
}

}  // namespace stubforge
