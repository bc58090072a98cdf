#include "stubforge/pdf/DocumentSupport.h"

#include "stubforge/pdf/PDFTexts.h"

#include "platform/OutputFile.h"

#include <cerrno>
#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

namespace stubforge {

namespace fs = std::filesystem;
namespace graphics = platform::graphics;

namespace {

// 2^53: the number of evenly spaced doubles a random fraction is drawn from.
constexpr std::uint64_t kFractionSteps = std::uint64_t{1} << 53;
constexpr double kFractionUnit = 0x1.0p-53;

void throwIfCancelled(const GenerationContext& context) {
    if (context.cancel() != nullptr && context.cancel()->isCancelled()) {
        throw platform::Error(std::string(kPDFGenerationDomain), ECANCELED, "The PDF document was cancelled.");
    }
}

// The PDF layer's set-up failures are this pipeline's codes 1 and 2; every
// other error (a failed drawing, a failed write) passes as it is.
[[noreturn]] void rethrowSetupFailure(const platform::Error& error) {
    if (error.domain() == graphics::kPdfErrorDomain) {
        if (error.code() == static_cast<int>(graphics::PdfErrorCode::cannotCreateOutput)) {
            throw makePDFGenerationError(PDFGenerationError::unableToCreateDataConsumer, error.what());
        }
        if (error.code() == static_cast<int>(graphics::PdfErrorCode::cannotCreateContext)) {
            throw makePDFGenerationError(PDFGenerationError::unableToCreateContext, error.what());
        }
    }
    throw;
}

}  // namespace

platform::Error makePDFGenerationError(PDFGenerationError code, const std::string& detail) {
    std::string message(code == PDFGenerationError::unableToCreateDataConsumer ? pdf_texts::kUnableToCreateDataConsumer
                                                                                : pdf_texts::kUnableToCreateContext);
    if (!detail.empty()) {
        message += " (" + detail + ")";
    }
    return platform::Error(std::string(kPDFGenerationDomain), static_cast<int>(code), message);
}

// ---- Pipeline

DocumentPages::DocumentPages(graphics::PdfDocument& document, const PageSetup& setup,
                             const GenerationContext& context)
    : document_(document), setup_(setup), context_(context) {}

void DocumentPages::drawPage(const std::function<void(graphics::Canvas&)>& draw) {
    throwIfCancelled(context_);
    graphics::Canvas& canvas = document_.beginPage(setup_.mediaBox, setup_.origin);
    if (draw) {
        draw(canvas);
    }
    document_.endPage();
}

std::vector<std::byte> renderPDFDocument(const PageSetup& setup, const GenerationContext& context,
                                         const DrawPages& drawPages, const graphics::PdfMetadata& metadata) {
    throwIfCancelled(context);
    std::optional<graphics::PdfDocument> document;
    try {
        document.emplace(context.clock(), metadata);
    } catch (const platform::Error& error) {
        rethrowSetupFailure(error);
    }
    DocumentPages pages(*document, setup, context);
    if (drawPages) {
        drawPages(pages);
    }
    throwIfCancelled(context);
    return document->finish();
}

fs::path writePDFData(const fs::path& destination, std::span<const std::byte> pdf, const GenerationContext& context) {
    return platform::writeOutputFile(destination, pdf, context.cancel());
}

fs::path generatePDFDocument(const fs::path& destination, const PageSetup& setup, const GenerationContext& context,
                             const DrawPages& drawPages, const graphics::PdfMetadata& metadata) {
    const std::vector<std::byte> pdf = renderPDFDocument(setup, context, drawPages, metadata);
    return writePDFData(destination, pdf, context);
}

// ---- Pagination

graphics::TextFlow paginateText(graphics::Typesetter& typesetter, graphics::AttributedText text,
                                graphics::Size textArea) {
    return graphics::TextFlow(typesetter, std::move(text), textArea);
}

void drawTextPages(DocumentPages& pages, const graphics::TextFlow& flow, graphics::Point textOrigin,
                   const PageDecoration& decorate) {
    const std::size_t count = flow.pageCount();
    for (std::size_t page = 0; page < count; ++page) {
        pages.drawPage([&](graphics::Canvas& canvas) {
            flow.drawPage(canvas, page, textOrigin);
            if (decorate) {
                decorate(canvas, page, count);
            }
        });
    }
}

// ---- Fonts

graphics::Font systemFont(FontWeight weight, double pointSize) {
    return weight == FontWeight::bold ? graphics::Font::boldSystem(pointSize) : graphics::Font::system(pointSize);
}

const graphics::Font& makeStaticFont(graphics::Font font, StaticFontSlot& slot) {
    std::call_once(slot.once_, [&] { slot.font_.emplace(std::move(font)); });
    return *slot.font_;
}

const graphics::Font& makeStaticFont(FontWeight weight, double pointSize, StaticFontSlot& slot) {
    return makeStaticFont(systemFont(weight, pointSize), slot);
}

// ---- Random values

std::uint64_t randomIntBelow(platform::RandomSource& random, std::uint64_t n) {
    // The platform's bounded draw is the same multiply-and-reject rule.
    return random.below(n);
}

double randomDoubleInRange(platform::RandomSource& random, double lower, double upper) {
    const double width = upper - lower;
    if (lower == upper || !std::isfinite(width)) {
        throw std::invalid_argument("randomDoubleInRange needs two different bounds a finite width apart");
    }
    while (true) {
        const std::uint64_t k = random.next() & (kFractionSteps - 1);
        const double value = lower + width * (static_cast<double>(k) * kFractionUnit);
        // Near the top the sum can round onto `upper`, which the range leaves out.
        if (value != upper) {
            return value;
        }
    }
}

double randomDoubleInClosedRange(platform::RandomSource& random, double lower, double upper) {
    const double width = upper - lower;
    if (!std::isfinite(width)) {
        throw std::invalid_argument("randomDoubleInClosedRange needs finite bounds a finite width apart");
    }
    const std::uint64_t k = random.below(kFractionSteps + 1);
    if (k == kFractionSteps) {
        return upper;
    }
    return lower + width * (static_cast<double>(k) * kFractionUnit);
}

}  // namespace stubforge
