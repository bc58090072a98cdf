#pragma once

#include "stubforge/core/GenerationContext.h"
#include "stubforge/core/Options.h"

#include "platform/Error.h"
#include "platform/Random.h"
#include "platform/graphics/AttributedText.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Font.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/PdfDocument.h"
#include "platform/graphics/TextFlow.h"
#include "platform/graphics/Typesetter.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// What every PDF document generator shares: the pipeline from drawn pages to
// one written file, the pagination of long text, the type-level fonts and the
// random routines.
namespace stubforge {

// ---- Errors ---------------------------------------------------------------

// The document generators' error domain and codes; a failed write is thrown
// as the output file's own error instead.
inline constexpr std::string_view kPDFGenerationDomain = "PDFGeneration";
enum class PDFGenerationError {
    unableToCreateDataConsumer = 1,  // the in-memory PDF output could not be made
    unableToCreateContext = 2,       // its drawing context could not be made
};

platform::Error makePDFGenerationError(PDFGenerationError code, const std::string& detail = {});

// ---- Pipeline ---------------------------------------------------------------

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
    DocumentPages(platform::graphics::PdfDocument& document, const PageSetup& setup,
                  const GenerationContext& context);

    // Draws one page: begins it, hands its canvas to `draw`, ends it. Checks
    // for cancellation first.
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
// throws PDFGeneration code 1 or 2; whatever `drawPages` throws is passed on.
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

// ---- Pagination -------------------------------------------------------------

// Lays `text` into equal text areas, one page per area. A form feed starts a
// new page; an empty text has no pages.
platform::graphics::TextFlow paginateText(platform::graphics::Typesetter& typesetter,
                                          platform::graphics::AttributedText text,
                                          platform::graphics::Size textArea);

// Called after a page's text is drawn, for its header, footer or number:
// the page's index within the flow (from 0) and the flow's page count.
using PageDecoration = std::function<void(platform::graphics::Canvas&, std::size_t page, std::size_t pageCount)>;

// Draws each page of `flow` as one document page: the page's text with the
// text area's corner at `textOrigin`, then `decorate`.
void drawTextPages(DocumentPages& pages, const platform::graphics::TextFlow& flow,
                   platform::graphics::Point textOrigin, const PageDecoration& decorate = {});

// ---- Fonts --------------------------------------------------------------------

enum class FontWeight { regular, bold };

// The platform's user-interface font in `weight` at `pointSize`.
platform::graphics::Font systemFont(FontWeight weight, double pointSize);

// A type-level font slot: empty until its first use, then filled once for
// the life of the process, whichever thread comes first. Declare slots
// `constinit` at namespace scope or as static members.
class StaticFontSlot {
public:
    constexpr StaticFontSlot() = default;
    StaticFontSlot(const StaticFontSlot&) = delete;
    StaticFontSlot& operator=(const StaticFontSlot&) = delete;

private:
    friend const platform::graphics::Font& makeStaticFont(platform::graphics::Font font, StaticFontSlot& slot);
    std::once_flag once_;
    std::optional<platform::graphics::Font> font_;
};

// Fills `slot` with the system font of `weight` and `pointSize` on its first
// call and returns the slot's font; later calls return what is stored.
const platform::graphics::Font& makeStaticFont(FontWeight weight, double pointSize, StaticFontSlot& slot);

// The same for any font, e.g. an italic one or a bold one at the size of
// another static font.
const platform::graphics::Font& makeStaticFont(platform::graphics::Font font, StaticFontSlot& slot);

// ---- Random values -----------------------------------------------------------

// A uniform integer in [0, n), by multiply-and-reject on 64-bit words. n must
// be at least 1 (std::invalid_argument otherwise).
std::uint64_t randomIntBelow(platform::RandomSource& random, std::uint64_t n);

// A uniform double in [lower, upper): 53 random bits scaled to the width;
// a draw that rounds onto `upper` is drawn again. `lower` must differ from
// `upper` and the width must be finite (std::invalid_argument otherwise).
double randomDoubleInRange(platform::RandomSource& random, double lower, double upper);

// A uniform double in the closed range [lower, upper]: k uniform in
// 0 … 2^53 inclusive, `upper` exactly when k = 2^53.
double randomDoubleInClosedRange(platform::RandomSource& random, double lower, double upper);

}  // namespace stubforge
