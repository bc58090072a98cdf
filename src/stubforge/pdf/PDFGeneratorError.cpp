#include "stubforge/pdf/PDFGeneratorError.h"

#include "stubforge/pdf/PDFTexts.h"

namespace stubforge {

platform::Error makePDFGeneratorError(PDFGeneratorError reason, const std::string& detail) {
    std::string message(pdf_texts::kUnableToCreatePDFContext);
    if (!detail.empty()) {
        message += " " + detail;
    }
    return platform::Error(std::string(kPDFGeneratorErrorDomain), static_cast<int>(reason), message);
}

}  // namespace stubforge
