#pragma once

#include <string_view>

// The error domains of the drawing layer, each with its closed set of
// codes. The OS reason of a failure travels as the underlying error.
namespace platform::graphics {

// A PdfDocument being made and written.
enum class PdfDocumentError {
    cannotCreateOutput = 1,   // the PDF surface over the output could not be made
    cannotCreateContext = 2,  // its drawing context could not be made
    writeFailed = 3,          // the output refused bytes (file, sink or memory)
    drawingFailed = 4,        // cairo reported another error
    cannotCreateFile = 5,     // PdfDocument::toFile could not create its file
};
constexpr std::string_view errorDomain(PdfDocumentError) { return "PdfDocument"; }

// Text layout through pango.
enum class TypesetterError {
    noFonts = 1,          // fontconfig found no fonts to lay text out with
    invalidFontSize = 2,  // a size pango cannot lay out (not above 0, or above 500 points)
    invalidFrame = 3,     // a frame width or height that is not a number
};
constexpr std::string_view errorDomain(TypesetterError) { return "Typesetter"; }

}  // namespace platform::graphics
