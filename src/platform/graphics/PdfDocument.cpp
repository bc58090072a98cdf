#include "platform/graphics/PdfDocument.h"

#include "CanvasImpl.h"
#include "Handles.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/UniqueFd.h"

#include <cairo-pdf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <utility>

namespace platform::graphics {

namespace {

// Cairo needs a size to create the surface; every page sets its own.
constexpr Size kInitialPageSize = pageSizes::a4;

}  // namespace

struct PdfDocument::Impl {
    enum class Target { memory, sink, file };

    explicit Impl(Target kind) : target(kind) {}

    ~Impl() {
        // Whatever cairo still writes while it tears down goes nowhere.
        discarding = true;
        cairo.reset();
        surface.reset();
        closeFile();
        if (target == Target::file && !succeeded) {
            // A document that was never completed leaves no broken file
            // behind; a file put at the path meanwhile is not ours to remove.
            struct stat current {};
            if (::stat(path.c_str(), &current) == 0 && current.st_dev == created.st_dev &&
                current.st_ino == created.st_ino) {
                ::unlink(path.c_str());
            }
        }
    }

    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void open(const Clock& clock, const PdfMetadata& metadata) {
        surface.reset(
            cairo_pdf_surface_create_for_stream(&Impl::write, this, kInitialPageSize.width, kInitialPageSize.height));
        if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
            throw Error(PdfDocumentError::cannotCreateOutput,
                        std::string("Could not create the PDF surface: ") +
                            cairo_status_to_string(cairo_surface_status(surface.get())));
        }
        // Cairo takes the PDF dates as ISO 8601.
        const std::string date = iso8601(clock.now());
        cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATE_DATE, date.c_str());
        cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_MOD_DATE, date.c_str());
        const std::pair<cairo_pdf_metadata_t, const std::string*> fields[] = {
            {CAIRO_PDF_METADATA_TITLE, &metadata.title},
            {CAIRO_PDF_METADATA_AUTHOR, &metadata.author},
            {CAIRO_PDF_METADATA_SUBJECT, &metadata.subject},
            {CAIRO_PDF_METADATA_CREATOR, &metadata.creator},
        };
        for (const auto& [field, value] : fields) {
            if (!value->empty()) {
                cairo_pdf_surface_set_metadata(surface.get(), field, value->c_str());
            }
        }
        cairo.reset(cairo_create(surface.get()));
        if (cairo_status(cairo.get()) != CAIRO_STATUS_SUCCESS) {
            throw Error(PdfDocumentError::cannotCreateContext,
                        std::string("Could not create the PDF drawing context: ") +
                            cairo_status_to_string(cairo_status(cairo.get())));
        }
    }

    static cairo_status_t write(void* closure, const unsigned char* data, unsigned int length) {
        auto& self = *static_cast<Impl*>(closure);
        if (self.discarding) {
            return CAIRO_STATUS_SUCCESS;
        }
        if (self.outputError) {
            return CAIRO_STATUS_WRITE_ERROR;
        }
        const auto* bytes = reinterpret_cast<const std::byte*>(data);
        try {
            switch (self.target) {
            case Target::memory:
                self.bytes.insert(self.bytes.end(), bytes, bytes + length);
                break;
            case Target::sink:
                self.sink(std::span(bytes, length));
                break;
            case Target::file:
                self.writeFile(std::span(bytes, length));
                break;
            }
        } catch (...) {
            self.outputError = std::current_exception();
            return CAIRO_STATUS_WRITE_ERROR;
        }
        return CAIRO_STATUS_SUCCESS;
    }

    void writeFile(std::span<const std::byte> data) {
        while (!data.empty()) {
            const ssize_t wrote = ::write(descriptor.get(), data.data(), data.size());
            if (wrote < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throw systemError(PdfDocumentError::writeFailed, "Could not write", path, errno);
            }
            data = data.subspan(static_cast<std::size_t>(wrote));
        }
    }

    void closeFile() {
        if (const int reason = descriptor.close(); reason != 0 && !outputError) {
            outputError =
                std::make_exception_ptr(systemError(PdfDocumentError::writeFailed, "Could not write", path, reason));
        }
    }

    // Throws what the output or cairo reported, now and on every later call.
    void throwIfFailed() {
        if (outputError) {
            std::rethrow_exception(outputError);
        }
        cairo_status_t status = cairo ? cairo_status(cairo.get()) : CAIRO_STATUS_SUCCESS;
        if (status == CAIRO_STATUS_SUCCESS && surface) {
            status = cairo_surface_status(surface.get());
        }
        if (status == CAIRO_STATUS_WRITE_ERROR) {
            outputError = std::make_exception_ptr(Error(PdfDocumentError::writeFailed, "Could not write the PDF"));
        } else if (status != CAIRO_STATUS_SUCCESS) {
            outputError = std::make_exception_ptr(Error(
                PdfDocumentError::drawingFailed, std::string("PDF drawing failed: ") + cairo_status_to_string(status)));
        }
        if (outputError) {
            std::rethrow_exception(outputError);
        }
    }

    Target target;
    std::vector<std::byte> bytes;
    PdfSink sink;
    std::filesystem::path path;
    UniqueFd descriptor;
    struct stat created {};  // the file toFile made
    std::exception_ptr outputError;
    bool discarding = false;
    bool finished = false;
    bool succeeded = false;
    int pages = 0;

    Typesetter typesetter;
    std::unique_ptr<Canvas> canvas;
    detail::SurfacePtr surface;
    detail::CairoPtr cairo;
};

PdfDocument::PdfDocument(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {
    impl_->canvas = std::make_unique<Canvas>(std::make_unique<Canvas::Impl>(impl_->typesetter));
}

PdfDocument::PdfDocument(const Clock& clock, PdfMetadata metadata)
    : PdfDocument(std::make_unique<Impl>(Impl::Target::memory)) {
    impl_->open(clock, metadata);
}

PdfDocument::PdfDocument(PdfSink sink, const Clock& clock, PdfMetadata metadata)
    : PdfDocument(std::make_unique<Impl>(Impl::Target::sink)) {
    if (!sink) {
        throw std::invalid_argument("PdfDocument needs a sink");
    }
    impl_->sink = std::move(sink);
    impl_->open(clock, metadata);
}

PdfDocument PdfDocument::toFile(const std::filesystem::path& path, const Clock& clock, PdfMetadata metadata) {
    auto impl = std::make_unique<Impl>(Impl::Target::file);
    impl->path = path;
    // O_EXCL: an existing file is never overwritten, and the file removed
    // after a failure is always one this document made.
    impl->descriptor.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!impl->descriptor || ::fstat(impl->descriptor.get(), &impl->created) != 0) {
        const int reason = errno;
        if (impl->descriptor) {
            ::unlink(path.c_str());  // just made by us with O_EXCL
        }
        impl->succeeded = true;  // nothing of ours left to remove
        throw systemError(PdfDocumentError::cannotCreateFile, "Could not create", path, reason);
    }
    PdfDocument document(std::move(impl));
    document.impl_->open(clock, metadata);
    return document;
}

PdfDocument::~PdfDocument() = default;
PdfDocument::PdfDocument(PdfDocument&& other) noexcept = default;
PdfDocument& PdfDocument::operator=(PdfDocument&& other) noexcept = default;

Canvas& PdfDocument::beginPage(Size size, Origin origin) {
    Impl& impl = *impl_;
    if (impl.finished) {
        throw std::logic_error("beginPage after finish");
    }
    if (pageOpen()) {
        throw std::logic_error("beginPage while a page is open");
    }
    if (!std::isfinite(size.width) || !std::isfinite(size.height) || !(size.width > 0) || !(size.height > 0)) {
        throw std::invalid_argument("page size must be finite and positive");
    }
    impl.throwIfFailed();
    cairo_t* cairo = impl.cairo.get();
    cairo_pdf_surface_set_size(impl.surface.get(), size.width, size.height);
    cairo_save(cairo);
    cairo_identity_matrix(cairo);
    if (origin == Origin::bottomLeft) {
        cairo_translate(cairo, 0, size.height);
        cairo_scale(cairo, 1, -1);
    }
    ++impl.pages;
    CanvasAccess::impl(*impl.canvas).beginPage(cairo, size, origin);
    return *impl.canvas;
}

void PdfDocument::endPage() {
    Impl& impl = *impl_;
    if (!pageOpen()) {
        throw std::logic_error("endPage without an open page");
    }
    CanvasAccess::impl(*impl.canvas).endPage();
    cairo_restore(impl.cairo.get());
    cairo_show_page(impl.cairo.get());
    impl.throwIfFailed();
}

bool PdfDocument::pageOpen() const noexcept { return impl_ && CanvasAccess::impl(*impl_->canvas).cairo != nullptr; }

int PdfDocument::pageCount() const noexcept { return impl_->pages; }

Typesetter& PdfDocument::typesetter() noexcept { return impl_->typesetter; }

std::vector<std::byte> PdfDocument::finish() {
    Impl& impl = *impl_;
    if (impl.finished) {
        throw std::logic_error("finish called twice");
    }
    if (pageOpen()) {
        endPage();
    }
    impl.finished = true;
    impl.throwIfFailed();
    impl.cairo.reset();
    // Cairo writes the fonts and the cross-reference table only now, and
    // only now reports a failed write.
    cairo_surface_finish(impl.surface.get());
    impl.throwIfFailed();
    impl.surface.reset();
    impl.closeFile();
    impl.throwIfFailed();
    impl.succeeded = true;
    return std::move(impl.bytes);
}

}  // namespace platform::graphics
