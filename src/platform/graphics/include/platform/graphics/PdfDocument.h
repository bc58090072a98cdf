#pragma once

#include "platform/Clock.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/GraphicsErrors.h"
#include "platform/graphics/Typesetter.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::graphics {

// Document information, in UTF-8; empty fields are left out. cairo names
// itself as the producer.
struct PdfMetadata {
    std::string title;
    std::string author;
    std::string subject;
    std::string creator;
};

// Receives the PDF bytes as they are written. Whatever it throws is thrown
// again from the next endPage or finish.
using PdfSink = std::function<void(std::span<const std::byte>)>;

// A PDF being written, page by page. The creation and modification dates
// come from the clock (in UTC), so under a fixed clock the bytes are the
// same on every run.
//
// Fonts are embedded as subsets. Errors from cairo (and from the output) are
// checked at endPage and finish and thrown as platform::Error
// (PdfDocumentError); after an error the document only throws.
class PdfDocument {
public:
    // In memory: finish() hands the bytes back.
    explicit PdfDocument(const Clock& clock, PdfMetadata metadata = {});
    // Streamed to `sink`; finish() returns nothing.
    PdfDocument(PdfSink sink, const Clock& clock, PdfMetadata metadata = {});
    // Streamed to a new file created at `path`; an existing file is never
    // overwritten (EEXIST). A file that cannot be created throws
    // cannotCreateFile right away, with the OS reason underneath. A document
    // destroyed before finish() succeeded removes the file it created, and
    // only that.
    static PdfDocument toFile(const std::filesystem::path& path, const Clock& clock, PdfMetadata metadata = {});

    ~PdfDocument();
    PdfDocument(PdfDocument&& other) noexcept;
    PdfDocument& operator=(PdfDocument&& other) noexcept;

    // Starts a page of `size`; the canvas stays valid until endPage.
    Canvas& beginPage(Size size, Origin origin);
    void endPage();
    bool pageOpen() const noexcept;
    int pageCount() const noexcept;  // pages begun so far

    Typesetter& typesetter() noexcept;

    // Ends an open page and completes the PDF. Returns the bytes of an
    // in-memory document, nothing otherwise. A document without pages still
    // gets one blank page, since a PDF needs one.
    std::vector<std::byte> finish();

    struct Impl;

private:
    explicit PdfDocument(std::unique_ptr<Impl> impl);

    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::graphics
