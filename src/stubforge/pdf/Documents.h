#pragma once

// The content documents behind generatePDFBySize. Each has the shape of a
// DocumentGenerator: it draws its document and saves it at `destination`,
// returning the path it was saved under; failures throw platform::Error and
// leave no file. Each builds its data first (every draw, fake value and
// date) and then renders that data, so tests can build data and render it
// directly.
//
// Every entry is a type with no state and one static operation:
// generateDocument for the agreements, CV, meeting notes and pitch deck,
// generate for the statements (invoices, receipts, portfolio statements).

#include "stubforge/core/GenerationContext.h"
#include "stubforge/core/Options.h"
#include "stubforge/pdf/DocumentSupport.h"

#include "platform/graphics/AttributedText.h"
#include "platform/graphics/Path.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// A curriculum vitae on US Letter pages; the large form is longer and has
// more sections.
struct PDFCVGenerator {
    static std::filesystem::path generateDocument(const std::filesystem::path& destination, ContentSize size,
                                                  const GenerationContext& context);
};

// Meeting minutes on US Letter pages: one detailed set (small) or three or
// four brief sets (large).
struct PDFMeetingNotesGenerator {
    static std::filesystem::path generateDocument(const std::filesystem::path& destination, ContentSize size,
                                                  const GenerationContext& context);
};

// A landscape slide deck, one slide a page.
struct PDFPitchDeckGenerator {
    static std::filesystem::path generateDocument(const std::filesystem::path& destination, ContentSize size,
                                                  const GenerationContext& context);
};

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

// ---- Agreements ------------------------------------------------------------------

// A random scribble in a box of `width` × `height` (origin bottom left, y up):
// 1–3 strokes of 3–7 segments, all in one path.
platform::graphics::Path drawSignatureImage(platform::RandomSource& random, double width, double height);

// A signature as an inline box of the given size.
std::shared_ptr<const platform::graphics::Attachment> signatureAttachment(const platform::graphics::Path& scribble,
                                                                          platform::graphics::Size size);

// Where an agreement's pages put their text and their two footer halves.
struct AgreementPageLayout {
    platform::graphics::Point textOrigin;
    platform::graphics::Size textArea;
    platform::graphics::Rect footerLeft;
    platform::graphics::Rect footerRight;
    platform::graphics::Font footerFont;
};

// The pages of `flow` that show something: a page that would hold nothing but
// blank lines (an empty line pushed past a page end just before a form feed)
// is left out, so that no page is blank but for its footer.
std::vector<std::size_t> visiblePages(const platform::graphics::TextFlow& flow);

// Draws the visible pages of `text` with `leftFooter` on each and
// `rightFooter(i, n)` numbering them from 1 over the visible pages.
void drawAgreementPages(DocumentPages& pages, platform::graphics::AttributedText text,
                        const AgreementPageLayout& layout, std::string_view leftFooter,
                        std::string (*rightFooter)(std::size_t page, std::size_t pageCount));

// The employment agreement, A4, followed in the large form by a
// non-disclosure agreement between the same parties.
class PDFContractGenerator {
public:
    struct NonDisclosure {
        std::string effectiveDate;
        std::string phoneNumber;
        std::string faxNumber;
    };

    struct Data {
        std::string employeeName;
        std::string employerName;
        std::string effectiveDate;
        std::string employerAddress;
        std::string employeeAddress;
        std::string passportNumber;
        std::string secondCompanyName;
        std::string salary;
        std::string probationPeriod;
        std::string agreementNumber;
        std::string jobTitle;
        std::string state;
        platform::graphics::Path employeeSignature;
        platform::graphics::Path employerSignature;
        std::optional<NonDisclosure> nonDisclosure;  // the large form only
    };

    static std::filesystem::path generateDocument(const std::filesystem::path& destination, ContentSize size,
                                                  const GenerationContext& context);

    // Every value of one document, drawn from the context's random source
    // and clock through one fake-data engine.
    static Data buildData(ContentSize size, const GenerationContext& context);
    static std::vector<std::byte> renderDocument(const Data& data, const GenerationContext& context);

    static platform::graphics::AttributedText buildAgreementText(const Data& data);
    static platform::graphics::AttributedText buildNDAText(const Data& data);

    // Heading and one space in bold 14, then the body and "\n\n" in regular
    // 14; lines after the first stand in by `headIndent`.
    static platform::graphics::AttributedText makeClauseSection(std::string_view heading, std::string_view body,
                                                                double headIndent);

    static constexpr platform::graphics::Size kSignatureSize{200, 80};
};

// The services agreement (small) or the master services agreement with its
// service level exhibit (large), US Letter.
class PDFB2BContractGenerator {
public:
    struct Signatory {
        std::string name;
        std::string title;
        std::string email;  // the large form only
        platform::graphics::Path signature;
    };

    struct Data {
        ContentSize size = ContentSize::small;
        std::string firstPartyName;
        std::string secondPartyName;
        std::string firstPartyAddress;
        std::string secondPartyAddress;
        std::string effectiveDate;
        std::string firstPartyState;
        std::string secondPartyState;
        std::string governingState;
        // The small form.
        int termMonths = 0;
        std::string service;
        std::string monthlyFee;
        // The large form: where the arbitration sits.
        std::string arbitrationCity;
        Signatory first;
        Signatory second;
        std::string identifier;
    };

    static std::filesystem::path generateDocument(const std::filesystem::path& destination, ContentSize size,
                                                  const GenerationContext& context);

    static Data buildData(ContentSize size, const GenerationContext& context);
    static std::vector<std::byte> renderDocument(const Data& data, const GenerationContext& context);

    static platform::graphics::AttributedText buildServicesAgreement(const Data& data);
    static platform::graphics::AttributedText buildMasterServicesAgreement(const Data& data);
    static platform::graphics::AttributedText buildServiceLevelExhibit();

    // Heading and one space in bold 12, the body and "\n\n" in regular 12,
    // justified.
    static platform::graphics::AttributedText makeSection(std::string_view heading, std::string_view body);
    // The same, indented by 30 throughout, with the body and a single "\n".
    static platform::graphics::AttributedText makeSubsection(std::string_view heading, std::string_view body);

    static std::span<const std::string_view> deliverablesForService(std::string_view service);

    static constexpr platform::graphics::Size kSignatureSize{200, 60};
};

}  // namespace stubforge
