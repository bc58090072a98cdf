#pragma once

#include "stubforge/core/GenerationContext.h"
#include "stubforge/core/Options.h"

#include "platform/graphics/Canvas.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/PdfDocument.h"
#include "platform/graphics/Typesetter.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

// The pipeline from drawn pages to one written file that every PDF document
// generator runs.
namespace stubforge {

// The media box of a document and where its pages put (0, 0). The agreements,
// CV, notes and deck draw from the top-left corner; the statements from the
// bottom-left one.
struct PageSetup {
    platform::graphics::Size mediaBox;
    platform::graphics::Origin origin = platform::graphics::Origin::topLeft;
};

// The pages of one in-memory document while it is being drawn. Every page
// has the setup's media box and origin.
class DocumentPages {
public:
    DocumentPages(platform::graphics::PdfDocument& document, const PageSetup& setup, const GenerationContext& context);

    // Draws one page: begins it, hands its canvas to `draw`, ends it. Checks
    // for cancellation first (platform::OutputFileError::cancelled).
    void drawPage(const std::function<void(platform::graphics::Canvas&)>& draw);

    // The document's typesetter, for measuring and paginating its text.
    platform::graphics::Typesetter& typesetter() noexcept { return document_.typesetter(); }
    const PageSetup& setup() const noexcept { return setup_; }
    const GenerationContext& context() const noexcept { return context_; }
    int pageCount() const noexcept { return document_.pageCount(); }

private:
    platform::graphics::PdfDocument& document_;
    PageSetup setup_;
    const GenerationContext& context_;
};

using DrawPages = std::function<void(DocumentPages&)>;

// Draws a whole document into memory: `drawPages` draws every page, in order.
// The creation date comes from the context's clock, so under a fixed clock
// and seed the bytes are the same on every run. Failing to set up the PDF
// throws PDFGenerationError (PDFErrors.h) with the drawing layer's error
// underneath; whatever `drawPages` throws is passed on.
std::vector<std::byte> renderPDFDocument(const PageSetup& setup, const GenerationContext& context,
                                         const DrawPages& drawPages,
                                         const platform::graphics::PdfMetadata& metadata = {});

// Writes a finished document in one write through platform::OutputFile and
// commits it: nothing is left behind on failure, and a taken name gets "_2",
// "_3", …. Returns the path the file was saved under.
std::filesystem::path writePDFData(const std::filesystem::path& destination, std::span<const std::byte> pdf,
                                   const GenerationContext& context);

// The common pipeline: renderPDFDocument, then writePDFData.
std::filesystem::path generatePDFDocument(const std::filesystem::path& destination, const PageSetup& setup,
                                          const GenerationContext& context, const DrawPages& drawPages,
                                          const platform::graphics::PdfMetadata& metadata = {});

// The entry point of every document generator: draws the document in the
// small or large form and saves it at `destination` (the folder exists, the
// caller chose the name), returning the path it was saved under.
using DocumentGenerator = std::filesystem::path (*)(const std::filesystem::path& destination, ContentSize size,
                                                    const GenerationContext& context);

}  // namespace stubforge
