#include "stubforge/pdf/PDFErrors.h"

#include "stubforge/pdf/PDFTexts.h"

namespace stubforge {

namespace {

std::string description(PDFGenerationError code) {
    return std::string(code == PDFGenerationError::unableToCreateDataConsumer ? pdf_texts::kUnableToCreateDataConsumer
                                                                              : pdf_texts::kUnableToCreateContext);
}

}  // namespace

platform::Error makePDFGenerationError(PDFGenerationError code) { return platform::Error(code, description(code)); }

platform::Error makePDFGenerationError(PDFGenerationError code, const platform::Error& underlying) {
    return platform::Error(code, description(code), underlying);
}

platform::Error makePDFGeneratorError(PDFGeneratorError reason, const platform::Error& underlying) {
    return platform::Error(reason, std::string(pdf_texts::kUnableToCreatePDFContext), underlying);
}

}  // namespace stubforge
