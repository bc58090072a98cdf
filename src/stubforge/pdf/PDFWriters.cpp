#include "stubforge/pdf/PDFWriters.h"

#include "Documents.h"
#include "DummyPDF.h"
#include "Rendering.h"

#include "stubforge/pdf/DocumentPipeline.h"
#include "stubforge/pdf/PDFErrors.h"
#include "stubforge/pdf/PDFTexts.h"

#include "stubforge/core/SizedWriters.h"
#include "stubforge/core/Utils.h"
#include "stubforge/core/WriterSupport.h"

#include "platform/graphics/AttributedText.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>

namespace stubforge {

namespace fs = std::filesystem;
namespace graphics = platform::graphics;

namespace {

constexpr detail::SizeErrors kSizeErrors =
    detail::sizeErrors(PDFGeneratorError::invalidSizeText, PDFGeneratorError::invalidSize);

platform::Error writerSetupError(bool, const platform::Error& cause) {
    return makePDFGeneratorError(PDFGeneratorError::unableToCreatePDFContext, cause);
}

// Which generator draws each content type in each size.
struct DocumentRoute {
    ContentType type;
    DocumentGenerator small;
    DocumentGenerator large;
};

constexpr std::array<DocumentRoute, 8> kDocumentRoutes{{
    {ContentType::contract, &PDFContractGenerator::generateDocument, &PDFContractGenerator::generateDocument},
    {ContentType::invoice, &InvoicePDFGenerator::generate, &LongInvoicePDFGenerator::generate},
    {ContentType::meeting_notes, &PDFMeetingNotesGenerator::generateDocument,
     &PDFMeetingNotesGenerator::generateDocument},
    {ContentType::b2b_contract, &PDFB2BContractGenerator::generateDocument, &PDFB2BContractGenerator::generateDocument},
    {ContentType::receipt, &ReceiptPDFGenerator::generate, &LongReceiptPDFGenerator::generate},
    {ContentType::fund_portfolio, &FundPortfolioPDFGenerator::generate, &LongFundPortfolioPDFGenerator::generate},
    {ContentType::cv, &PDFCVGenerator::generateDocument, &PDFCVGenerator::generateDocument},
    {ContentType::pitch_deck, &PDFPitchDeckGenerator::generateDocument, &PDFPitchDeckGenerator::generateDocument},
}};

// Every content type but the dummy has a route (its entries name functions,
// so neither is empty).
constexpr bool routesCoverEveryDocument() {
    for (const auto& entry : OptionTable<ContentType>::cases) {
        bool found = entry.value == ContentType::dummy;
        for (const DocumentRoute& route : kDocumentRoutes) {
            found = found || route.type == entry.value;
        }
        if (!found) {
            return false;
        }
    }
    return true;
}
static_assert(routesCoverEveryDocument(), "a content type has no document generator");

DocumentGenerator routeFor(ContentType type, ContentSize size) {
    for (const DocumentRoute& route : kDocumentRoutes) {
        if (route.type == type) {
            return size == ContentSize::large ? route.large : route.small;
        }
    }
    return nullptr;
}

// True when `text` is the decimal spelling of `count`: an optional "+", then
// digits, leading zeros allowed. Only such a text may name the file.
bool spellsCount(std::string_view text, std::int64_t count) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value == count;
}

void requirePageCount(std::int64_t pageCount, std::string_view pageCountText) {
    if (pageCount < kMinimumPDFPageCount || pageCount > kMaximumPDFPageCount) {
        throw platform::Error(PDFGeneratorError::invalidPageCount, "The page count " + std::to_string(pageCount) +
                                                                       " is not a whole number from " +
                                                                       std::to_string(kMinimumPDFPageCount) + " to " +
                                                                       std::to_string(kMaximumPDFPageCount) + ".");
    }
    if (!spellsCount(pageCountText, pageCount)) {
        throw platform::Error(PDFGeneratorError::pageCountTextMismatch,
                              "The page count text \"" + std::string(pageCountText) + "\" does not spell " +
                                  std::to_string(pageCount) + ".");
    }
}

std::string pdfName(std::string_view stem, std::string_view timestamp) {
    return std::string(stem) + std::string(timestamp) + std::string(pdf_texts::kPDFExtension);
}

}  // namespace

void drawCenteredText(std::string_view text, graphics::Canvas& canvas, const graphics::Rect& rect) {
    graphics::TextStyle style;
    style.font = graphics::Font::named(pdf_texts::kDummyFontName, pdf_texts::kDummyFontSize);
    style.color = graphics::colors::black;
    const graphics::AttributedText line(text, style);
    // The line's typographic bounds start at its origin, so its advance alone
    // centres it.
    const double width = canvas.measureLine(line).width;
    const graphics::Point baseline{(rect.width - width) * 0.5, (rect.height - pdf_texts::kDummyFontSize) * 0.5};
    canvas.save();
    canvas.drawTextLine(line, baseline);
    canvas.restore();
}

std::vector<std::byte> renderDummyPDF(int pageCount, const GenerationContext& context) {
    const PageSetup setup{kDummyPageSize, graphics::Origin::bottomLeft};
    const graphics::Rect box{0, 0, kDummyPageSize.width, kDummyPageSize.height};
    const DrawPages drawPages = [&](DocumentPages& pages) {
        for (int page = 0; page < pageCount; ++page) {
            pages.drawPage([&](graphics::Canvas& canvas) { drawCenteredText(pdf_texts::kDummyLine, canvas, box); });
        }
    };
    return detail::renderPages(setup, context, drawPages, {}, writerSetupError);
}

void padFileWithSpaces(platform::OutputFile& file, std::span<const std::byte> pdf, std::uint64_t count) {
    if (count == 0) {
        file.write(pdf);
        return;
    }
    constexpr std::string_view keyword = "startxref";
    const std::string_view text(reinterpret_cast<const char*>(pdf.data()), pdf.size());
    std::size_t insertAt = text.rfind(keyword);
    if (insertAt == std::string_view::npos) {
        throw platform::Error(PDFGeneratorError::notAPDF, "The dummy PDF has no startxref line to pad before.");
    }
    // Before the line break that ends the trailer, so that "startxref" keeps
    // a line of its own.
    if (insertAt > 0 && text[insertAt - 1] == '\n') {
        --insertAt;
    }
    if (insertAt > 0 && text[insertAt - 1] == '\r') {
        --insertAt;
    }
    const std::vector<std::byte> spaces(64'000, std::byte{' '});
    file.write(pdf.first(insertAt));
    file.writeRepeated(spaces, count);
    file.write(pdf.subspan(insertAt));
}

fs::path generatePDFByPageCount(std::int64_t pageCount, std::string_view pageCountText,
                                const GenerationContext& context) {
    requirePageCount(pageCount, pageCountText);
    const std::string name = pdfName(
        std::string(pdf_texts::kDocumentPrefix) + std::string(pageCountText) + std::string(pdf_texts::kPagesSuffix),
        Utils::timestamp(context.clock()));
    const std::vector<std::byte> pdf = renderDummyPDF(static_cast<int>(pageCount), context);
    const fs::path destination = detail::outputPath(context, name);
    return writePDFData(destination, pdf, context);
}

fs::path generatePDFBySize(std::string_view sizeText, ContentType contentType, ContentSize contentSize, double sizeInMB,
                           const GenerationContext& context) {
    const auto target = static_cast<std::uint64_t>(detail::requireTargetBytes(sizeInMB, kSizeErrors));
    const std::string timestamp = Utils::timestamp(context.clock());

    if (contentType != ContentType::dummy) {
        const DocumentGenerator generator = routeFor(contentType, contentSize);
        const std::string name =
            pdfName(std::string(caseName(contentType)) + "_" + std::string(rawValue(contentSize)) + "_", timestamp);
        return generator(detail::outputPath(context, name), contentSize, context);
    }

    const std::string label = detail::sizeLabel(sizeText, kSizeErrors);
    const std::string name =
        pdfName(std::string(pdf_texts::kDocumentPrefix) + label + std::string(pdf_texts::kMegabytesSuffix), timestamp);
    const std::vector<std::byte> pdf = renderDummyPDF(kSizedDummyPageCount, context);
    const fs::path destination = detail::outputPath(context, name);
    platform::OutputFile file(destination, context.cancel());
    // A target at or below the two pages' own size leaves them as they are.
    const std::uint64_t padding = target > pdf.size() ? target - pdf.size() : 0;
    padFileWithSpaces(file, pdf, padding);
    return closeFileHandle(file);
}

}  // namespace stubforge
