#pragma once

// The A4 page the statements (invoices, receipts, portfolio statements) are
// drawn on: its margins and the loops that draw its pages.

#include "stubforge/pdf/DocumentSupport.h"

#include "platform/graphics/Canvas.h"

#include <cstddef>
#include <vector>

namespace stubforge::statement_page {

inline constexpr double kMargin = 50;
inline constexpr double kContentWidth = 495;
inline constexpr double kRight = kMargin + kContentWidth;

inline constexpr PageSetup kSetup{platform::graphics::pageSizes::a4, platform::graphics::Origin::bottomLeft};

// One page, drawn by `drawPage(canvas)`.
template <typename DrawPage>
std::vector<std::byte> renderOnePage(const GenerationContext& context, const DrawPage& drawPage) {
    return renderPDFDocument(kSetup, context, [&](DocumentPages& pages) { pages.drawPage(drawPage); });
}

// `pageCount` pages, page i (from 0) drawn by `drawPage(canvas, i)`.
template <typename DrawPage>
std::vector<std::byte> renderPages(const GenerationContext& context, std::size_t pageCount, const DrawPage& drawPage) {
    return renderPDFDocument(kSetup, context, [&](DocumentPages& pages) {
        for (std::size_t pageIndex = 0; pageIndex < pageCount; ++pageIndex) {
            pages.drawPage([&](platform::graphics::Canvas& canvas) { drawPage(canvas, pageIndex); });
        }
    });
}

}  // namespace stubforge::statement_page
