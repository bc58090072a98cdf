#pragma once

#include "platform/Error.h"

#include <string>
#include <string_view>

// The error domains of the PDF library, each with its closed set of codes.
// Failures below them (the output file, the drawing layer, the OS) pass as
// those layers' platform::Error; where a PDF error stands for one of them,
// that error is its underlying error.
namespace stubforge {

// The document generators (the contract, the CV, the statements, …).
enum class PDFGenerationError {
    unableToCreateDataConsumer = 1,  // the in-memory PDF output could not be made
    unableToCreateContext = 2,       // its drawing context could not be made
};
constexpr std::string_view errorDomain(PDFGenerationError) { return "PDFGeneration"; }

// The error for `code`, with its fixed description.
platform::Error makePDFGenerationError(PDFGenerationError code);
platform::Error makePDFGenerationError(PDFGenerationError code, const platform::Error& underlying);

// The PDF writers by page count and by size. The first case counts from 0,
// as the error value the window knows it by.
enum class PDFGeneratorError {
    unableToCreatePDFContext = 0,  // the dummy PDF could not be set up
    invalidPageCount = 1,          // a page count outside the range the writer takes
    pageCountTextMismatch = 2,     // a page count text that does not spell the count
    invalidSizeText = 3,           // a size text that cannot go into a file name
    invalidSize = 4,               // a size that is no size between one byte and the maximum
    notAPDF = 6,                   // padding asked for bytes with no "startxref" line
};
constexpr std::string_view errorDomain(PDFGeneratorError) { return "PDFGeneratorError"; }

// The error for `reason` with its fixed description.
platform::Error makePDFGeneratorError(PDFGeneratorError reason, const platform::Error& underlying);

}  // namespace stubforge
