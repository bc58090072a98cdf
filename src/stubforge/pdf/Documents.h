#pragma once

#include "stubforge/core/GenerationContext.h"
#include "stubforge/core/Options.h"

#include <filesystem>

// The content documents behind generatePDFBySize. Each has the shape of a
// DocumentGenerator: it draws its document and saves it at `destination`,
// returning the path it was saved under; failures throw platform::Error and
// leave no file.
namespace stubforge {

// A one-page invoice of 3 to 7 line items.
struct InvoicePDFGenerator {
    static std::filesystem::path generate(const std::filesystem::path& destination, ContentSize size,
                                          const GenerationContext& context);
};

// An invoice of 3 to 99 line items over two to five pages, totals on the last.
struct LongInvoicePDFGenerator {
    static std::filesystem::path generate(const std::filesystem::path& destination, ContentSize size,
                                          const GenerationContext& context);
};

// A one-page shop receipt of 2 to 5 items.
struct ReceiptPDFGenerator {
    static std::filesystem::path generate(const std::filesystem::path& destination, ContentSize size,
                                          const GenerationContext& context);
};

// A shop receipt of 15 to 100 items in a paginated table.
struct LongReceiptPDFGenerator {
    static std::filesystem::path generate(const std::filesystem::path& destination, ContentSize size,
                                          const GenerationContext& context);
};

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

// A one-page investment portfolio statement of 5 to 8 holdings.
struct FundPortfolioPDFGenerator {
    static std::filesystem::path generate(const std::filesystem::path& destination, ContentSize size,
                                          const GenerationContext& context);
};

// A portfolio statement of 25 to 100 holdings over three to five pages, the
// analysis and disclosures on the last.
struct LongFundPortfolioPDFGenerator {
    static std::filesystem::path generate(const std::filesystem::path& destination, ContentSize size,
                                          const GenerationContext& context);
};

}  // namespace stubforge
