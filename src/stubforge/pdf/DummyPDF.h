#pragma once

#include "stubforge/core/GenerationContext.h"

#include "platform/OutputFile.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// The dummy PDF behind both PDF writers, in its steps.
namespace stubforge {

// Every dummy page: US Letter, portrait.
inline constexpr platform::graphics::Size kDummyPageSize = platform::graphics::pageSizes::usLetter;

// The number of dummy pages under a dummy PDF filled up to a size.
inline constexpr int kSizedDummyPageCount = 2;

// Draws `text` in Helvetica 36 on one line, centred across `rect`'s width by
// its advance, with its baseline at (rect height − 36) / 2 from the bottom
// edge. The rect's origin is not added: it is the page's box.
void drawCenteredText(std::string_view text, platform::graphics::Canvas& canvas, const platform::graphics::Rect& rect);

// `pageCount` dummy pages drawn into memory. Failing to set the PDF up
// throws PDFGeneratorError::unableToCreatePDFContext.
std::vector<std::byte> renderDummyPDF(int pageCount, const GenerationContext& context);

// Writes `pdf` into `file` with `count` spaces just before its final
// "startxref" line: white space after the trailer dictionary, which moves no
// offset the cross-reference data gives, so the file stays a valid PDF.
// Memory stays at one gathered buffer whatever the count.
void padFileWithSpaces(platform::OutputFile& file, std::span<const std::byte> pdf, std::uint64_t count);

}  // namespace stubforge
