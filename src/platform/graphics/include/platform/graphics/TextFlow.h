#pragma once

#include "platform/graphics/AttributedText.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Typesetter.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace platform::graphics {

// One container's share of a flowed text.
struct FlowPage {
    std::size_t begin = 0;  // byte range of the text on this page
    std::size_t end = 0;
    double usedHeight = 0;  // top of the container to the bottom of its last line
};

// Long text laid into equal containers, one per page. A form feed ends the
// page it stands on; a paragraph that does not fit carries on in the next
// container, line by line. An empty text has no pages; the pages' ranges
// follow each other without gaps, so their slices joined give the text back.
// A line taller than the container gets a container of its own.
//
// Only line positions are kept; drawPage lays out again the paragraphs that
// it draws, so memory stays small for texts of hundreds of pages.
class TextFlow {
public:
    // `container` needs a finite, positive width and height.
    TextFlow(Typesetter& typesetter, AttributedText text, Size container);

    std::size_t pageCount() const noexcept { return pages_.size(); }
    std::span<const FlowPage> pages() const noexcept { return pages_; }
    std::string_view pageText(std::size_t page) const;
    const AttributedText& text() const noexcept { return text_; }
    Size container() const noexcept { return container_; }

    // Draws page `page` with the container's corner nearest the origin at
    // `at` (its top-left corner on a top-left page). Keeps the paragraph it
    // drew last for the next page, so like the typesetter a flow is used by
    // one thread at a time.
    void drawPage(Canvas& canvas, std::size_t page, Point at) const;

    ~TextFlow();
    TextFlow(TextFlow&&) noexcept;
    TextFlow& operator=(TextFlow&&) = delete;

    struct Lines;

private:
    Typesetter& typesetter_;
    AttributedText text_;
    Size container_;
    std::vector<FlowPage> pages_;
    std::unique_ptr<Lines> lines_;  // where each page's lines stand
};

}  // namespace platform::graphics
