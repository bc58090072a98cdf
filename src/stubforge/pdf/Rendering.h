#pragma once

#include "stubforge/pdf/DocumentPipeline.h"

#include "platform/Error.h"

#include <cstddef>
#include <vector>

namespace stubforge::detail {

// The error a caller throws when the PDF layer cannot set a document up:
// `contextFailed` tells the drawing context from the output, and `cause` is
// the layer's own error.
using SetupError = platform::Error (*)(bool contextFailed, const platform::Error& cause);

// renderPDFDocument with the set-up failures in the caller's own domain, so
// that each writer translates the layer's error once.
std::vector<std::byte> renderPages(const PageSetup& setup, const GenerationContext& context, const DrawPages& drawPages,
                                   const platform::graphics::PdfMetadata& metadata, SetupError setupError);

}  // namespace stubforge::detail
