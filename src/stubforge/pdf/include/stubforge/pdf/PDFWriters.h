#pragma once

#include "stubforge/core/GenerationContext.h"
#include "stubforge/core/Options.h"

#include <cstdint>
#include <filesystem>
#include <string_view>

// The two PDF writers the Generate action calls. Each writes one file into
// the output folder under a timestamped name through platform::OutputFile
// and returns its path; failures throw platform::Error (PDFGeneratorError
// for what the writer refuses, see PDFErrors.h) and leave no file.
namespace stubforge {

// The page count range the writer by page count accepts, ends included.
inline constexpr std::int64_t kMinimumPDFPageCount = 1;
inline constexpr std::int64_t kMaximumPDFPageCount = 1000;

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
// from its document generator, whose size does not depend on `sizeInMB`.
std::filesystem::path generatePDFBySize(std::string_view sizeText, ContentType contentType, ContentSize contentSize,
                                        double sizeInMB, const GenerationContext& context);

}  // namespace stubforge
