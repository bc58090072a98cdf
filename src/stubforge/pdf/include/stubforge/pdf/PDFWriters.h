#pragma once

#include "stubforge/core/GenerationContext.h"
#include "stubforge/core/Options.h"

#include "platform/OutputFile.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

// The two PDF writers the Generate action calls. Each writes one file into
// the output folder under a timestamped name through platform::OutputFile
// and returns its path; failures throw platform::Error and leave no file.
namespace stubforge {

// The page count range the writer by page count accepts, ends included.
inline constexpr std::int64_t kMinimumPDFPageCount = 1;
inline constexpr std::int64_t kMaximumPDFPageCount = 1000;

// Every dummy page: US Letter, portrait.
inline constexpr platform::graphics::Size kDummyPageSize = platform::graphics::pageSizes::usLetter;

// The number of dummy pages under a dummy PDF filled up to a size.
inline constexpr int kSizedDummyPageCount = 2;

// document_<page-count text>pages_<timestamp>.pdf: `pageCount` dummy pages,
// each with the centred dummy line. The text is the page count as typed
// ("007") and goes into the name; it must spell `pageCount`. A count outside
// 1–1000 or a text that does not match is refused before anything is written.
std::filesystem::path generatePDFByPageCount(std::int64_t pageCount, std::string_view pageCountText,
                                             const GenerationContext& context);

// A PDF of `contentType` in `contentSize`. "Dummy" gives
// document_<size label>MB_<timestamp>.pdf: two dummy pages filled with
// spaces to exactly the requested size (or left at their own size when that
// is larger). Every other type gives <case name>_<small|large>_<timestamp>.pdf
// from its document generator, whose size does not depend on `sizeInMB`; a
// type whose generator is not built yet is refused with PDFGeneration ENOSYS.
std::filesystem::path generatePDFBySize(std::string_view sizeText, ContentType contentType, ContentSize contentSize,
                                        double sizeInMB, const GenerationContext& context);

// True when generatePDFBySize can make `contentType` today.
bool isContentTypeAvailable(ContentType contentType);

// Draws `text` in Helvetica 36 on one line, centred across `rect`'s width by
// its advance, with its baseline at (rect height − 36) / 2 from the bottom
// edge. The rect's origin is not added: it is the page's box.
void drawCenteredText(std::string_view text, platform::graphics::Canvas& canvas,
                      const platform::graphics::Rect& rect);

// `pageCount` dummy pages drawn into memory.
std::vector<std::byte> renderDummyPDF(int pageCount, const GenerationContext& context);

// Writes `pdf` into `file` with `count` spaces just before its final
// "startxref" line: white space after the trailer dictionary, which moves no
// offset the cross-reference data gives, so the file stays a valid PDF.
// Memory stays at one gathered buffer whatever the count.
void padFileWithSpaces(platform::OutputFile& file, std::span<const std::byte> pdf, std::uint64_t count);

}  // namespace stubforge
