#include "stubforge/pdf/DocumentPipeline.h"

#include "Rendering.h"

#include "stubforge/pdf/PDFErrors.h"

#include "platform/ErrorCodes.h"
#include "platform/OutputFile.h"
#include "platform/graphics/GraphicsErrors.h"

#include <optional>

namespace stubforge {

namespace fs = std::filesystem;
namespace graphics = platform::graphics;

namespace {

void throwIfCancelled(const GenerationContext& context) {
    if (context.cancel() != nullptr && context.cancel()->isCancelled()) {
        throw platform::Error(platform::OutputFileError::cancelled, "The PDF document was cancelled.");
    }
}

platform::Error documentSetupError(bool contextFailed, const platform::Error& cause) {
    return makePDFGenerationError(
        contextFailed ? PDFGenerationError::unableToCreateContext : PDFGenerationError::unableToCreateDataConsumer,
        cause);
}

}  // namespace

namespace detail {

std::vector<std::byte> renderPages(const PageSetup& setup, const GenerationContext& context, const DrawPages& drawPages,
                                   const graphics::PdfMetadata& metadata, SetupError setupError) {
    throwIfCancelled(context);
    std::optional<graphics::PdfDocument> document;
    try {
        document.emplace(context.clock(), metadata);
    } catch (const platform::Error& error) {
        if (error.is(graphics::PdfDocumentError::cannotCreateOutput) ||
            error.is(graphics::PdfDocumentError::cannotCreateContext)) {
            throw setupError(error.is(graphics::PdfDocumentError::cannotCreateContext), error);
        }
        throw;
    }
    DocumentPages pages(*document, setup, context);
    if (drawPages) {
        drawPages(pages);
    }
    throwIfCancelled(context);
    return document->finish();
}

}  // namespace detail

DocumentPages::DocumentPages(graphics::PdfDocument& document, const PageSetup& setup, const GenerationContext& context)
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
    return detail::renderPages(setup, context, drawPages, metadata, documentSetupError);
}

fs::path writePDFData(const fs::path& destination, std::span<const std::byte> pdf, const GenerationContext& context) {
    return platform::writeOutputFile(destination, pdf, context.cancel());
}

fs::path generatePDFDocument(const fs::path& destination, const PageSetup& setup, const GenerationContext& context,
                             const DrawPages& drawPages, const graphics::PdfMetadata& metadata) {
    const std::vector<std::byte> pdf = renderPDFDocument(setup, context, drawPages, metadata);
    return writePDFData(destination, pdf, context);
}

}  // namespace stubforge
