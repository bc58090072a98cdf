#pragma once

#include <string_view>

// The PDF writers' own texts, kept together.
namespace stubforge::pdf_texts {

// The one line of every dummy page.
inline constexpr std::string_view kDummyLine = "- Stubforge -";
// The face and size the dummy line is drawn in.
inline constexpr std::string_view kDummyFontName = "Helvetica";
inline constexpr double kDummyFontSize = 36;

// File names: "document_" + count + "pages_" + timestamp + ".pdf",
// "document_" + size label + "MB_" + timestamp + ".pdf" and
// case name + "_" + "small"/"large" + "_" + timestamp + ".pdf".
inline constexpr std::string_view kDocumentPrefix = "document_";
inline constexpr std::string_view kPagesSuffix = "pages_";
inline constexpr std::string_view kMegabytesSuffix = "MB_";
inline constexpr std::string_view kPDFExtension = ".pdf";

// Descriptions of the document generators' errors (domain "PDFGeneration").
inline constexpr std::string_view kUnableToCreateDataConsumer = "Unable to create CGDataConsumer";
inline constexpr std::string_view kUnableToCreateContext = "Unable to create CGContext";

// The PDF writers' own error (domain "PDFGeneratorError").
inline constexpr std::string_view kUnableToCreatePDFContext = "Unable to create PDF context.";

}  // namespace stubforge::pdf_texts
