#include "stubforge/pdf/Pagination.h"

#include <utility>

namespace stubforge {

namespace graphics = platform::graphics;

graphics::TextFlow paginateText(graphics::Typesetter& typesetter, graphics::AttributedText text,
                                graphics::Size textArea) {
    return graphics::TextFlow(typesetter, std::move(text), textArea);
}

void drawTextPages(DocumentPages& pages, const graphics::TextFlow& flow, graphics::Point textOrigin,
                   const PageDecoration& decorate) {
    const std::size_t count = flow.pageCount();
    for (std::size_t page = 0; page < count; ++page) {
        pages.drawPage([&](graphics::Canvas& canvas) {
            flow.drawPage(canvas, page, textOrigin);
            if (decorate) {
                decorate(canvas, page, count);
            }
        });
    }
}

}  // namespace stubforge
