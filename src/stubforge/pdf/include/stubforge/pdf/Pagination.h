#pragma once

#include "stubforge/pdf/DocumentPipeline.h"

#include "platform/graphics/AttributedText.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/TextFlow.h"
#include "platform/graphics/Typesetter.h"

#include <cstddef>
#include <functional>

// Long text flowed over the pages of a document.
namespace stubforge {

// Lays `text` into equal text areas, one page per area. A form feed starts a
// new page; an empty text has no pages. A heading (a paragraph set wholly in
// bold, or a run of them with blank lines between) keeps the first two lines
// of the paragraph after it, or all of a shorter one, on its page: when they
// do not fit, the page breaks before the heading, unless it already stands
// at the top of its page. The flow's text then holds a form feed in place of
// the line break before that heading.
platform::graphics::TextFlow paginateText(platform::graphics::Typesetter& typesetter,
                                          platform::graphics::AttributedText text, platform::graphics::Size textArea);

// Called after a page's text is drawn, for its header, footer or number:
// the page's index within the flow (from 0) and the flow's page count.
using PageDecoration = std::function<void(platform::graphics::Canvas&, std::size_t page, std::size_t pageCount)>;

// Draws each page of `flow` as one document page: the page's text with the
// text area's corner at `textOrigin`, then `decorate`.
void drawTextPages(DocumentPages& pages, const platform::graphics::TextFlow& flow, platform::graphics::Point textOrigin,
                   const PageDecoration& decorate = {});

}  // namespace stubforge
