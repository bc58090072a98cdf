#pragma once

#include "stubforge/pdf/DocumentSupport.h"

#include <filesystem>

// The content documents the PDF writer by size dispatches to, each in the
// shape of DocumentGenerator.
namespace stubforge {

namespace PDFCVGenerator {
std::filesystem::path generateDocument(const std::filesystem::path& destination, ContentSize size,
                                       const GenerationContext& context);
}

namespace PDFMeetingNotesGenerator {
std::filesystem::path generateDocument(const std::filesystem::path& destination, ContentSize size,
                                       const GenerationContext& context);
}

namespace PDFPitchDeckGenerator {
std::filesystem::path generateDocument(const std::filesystem::path& destination, ContentSize size,
                                       const GenerationContext& context);
}

}  // namespace stubforge
