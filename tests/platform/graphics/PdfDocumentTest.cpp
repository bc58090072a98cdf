#include "ErrorChecks.h"
#include "PdfTools.h"
#include "platform/Error.h"
#include "platform/graphics/PdfDocument.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <limits>
#include <numbers>
#include <set>
#include <thread>

namespace {

using namespace platform::graphics;
using graphics_test::TemporaryFolder;
namespace fs = std::filesystem;

// 2025-03-01 14:30:05 UTC
const platform::FixedClock kClock(platform::TimePoint(std::chrono::seconds(1740839405)));

void drawSamplePages(PdfDocument& document) {
    const TextStyle body{Font::system(12)};
    Canvas& first = document.beginPage(pageSizes::a4, Origin::bottomLeft);
    first.drawText(AttributedText("Regular ", body)
                       .append("Bold ", TextStyle{Font::boldSystem(12)})
                       .append("Italic ", TextStyle{Font::system(10).asItalic()})
                       .append("\xE2\x9C\x93 \xE2\x98\x91 \xE2\x86\x91", body),
                   Rect{50, 700, 495, 40});
    first.strokeRect({50, 512, 495, 30}, Stroke{});
    document.endPage();
    Canvas& second = document.beginPage(pageSizes::usLetterLandscape, Origin::topLeft);
    second.fillOval({300, 200, 80, 80}, colors::indigo.withAlpha(0.1));
    second.drawText(AttributedText("Slide", TextStyle{Font::boldSystem(28)}), Point{60, 100});
    document.endPage();
    document.beginPage(pageSizes::usLetter, Origin::bottomLeft);
    document.endPage();
}

std::vector<std::byte> samplePdf(const platform::Clock& clock) {
    PdfDocument document(clock, PdfMetadata{"Sample title", "", "", "Stubforge"});
    drawSamplePages(document);
    return document.finish();
}

TEST(PdfDocument, WritesPagesOfTheirOwnSizesWithMetadataFromTheClock) {
    const TemporaryFolder folder;
    const fs::path pdf = folder.write("sample.pdf", samplePdf(kClock));
    const auto check = graphics_test::run("qpdf --check " + graphics_test::quoted(pdf));
    EXPECT_EQ(check.exitCode, 0) << check.output;

    const std::string info = graphics_test::infoOf(pdf, "-f 1 -l 3");
    EXPECT_NE(info.find("Pages:           3"), std::string::npos) << info;
    EXPECT_NE(info.find("Page    1 size:  595 x 842 pts"), std::string::npos) << info;
    EXPECT_NE(info.find("Page    2 size:  792 x 612 pts"), std::string::npos) << info;
    EXPECT_NE(info.find("Page    3 size:  612 x 792 pts"), std::string::npos) << info;
    EXPECT_NE(info.find("Title:           Sample title"), std::string::npos) << info;
    EXPECT_NE(info.find("Creator:         Stubforge"), std::string::npos) << info;
    const std::string isoInfo = graphics_test::infoOf(pdf, "-isodates");
    EXPECT_NE(isoInfo.find("CreationDate:    2025-03-01T14:30:05Z"), std::string::npos) << isoInfo;
    EXPECT_NE(isoInfo.find("ModDate:         2025-03-01T14:30:05Z"), std::string::npos) << isoInfo;
}

TEST(PdfDocument, IsReproducibleUnderAFixedClock) {
    EXPECT_EQ(samplePdf(kClock), samplePdf(kClock));
    const platform::FixedClock later(kClock.now() + std::chrono::hours(24));
    EXPECT_NE(samplePdf(kClock), samplePdf(later));
}

TEST(PdfDocument, DrawsTheSameOnSeveralThreadsAtOnce) {
    // Each document has its own font map, so generators may run side by side.
    const std::vector<std::byte> alone = samplePdf(kClock);
    std::vector<std::vector<std::byte>> results(4);
    std::vector<std::thread> threads;
    for (auto& result : results) {
        threads.emplace_back([&result] {
            for (int round = 0; round < 3; ++round) {
                result = samplePdf(kClock);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto& result : results) {
        EXPECT_EQ(result, alone);
    }
}

TEST(PdfDocument, EmbedsEveryFontAsASubset) {
    const TemporaryFolder folder;
    const fs::path pdf = folder.write("fonts.pdf", samplePdf(kClock));
    const auto fonts = graphics_test::fontsOf(pdf);
    ASSERT_FALSE(fonts.empty());
    std::set<std::string> faces;
    for (const auto& font : fonts) {
        EXPECT_TRUE(font.embedded) << font.name;
        EXPECT_TRUE(font.subset) << font.name;
        faces.insert(font.name.substr(font.name.find('+') + 1));
    }
    const std::set<std::string> expected{"LiberationSans", "LiberationSans-Bold", "LiberationSans-Italic",
                                         "DejaVuSans"};
    EXPECT_EQ(faces, expected);
    EXPECT_NE(graphics_test::pageText(pdf, 1).find("Regular Bold Italic \xE2\x9C\x93 \xE2\x98\x91 \xE2\x86\x91"),
              std::string::npos);
}

TEST(PdfDocument, WritesTheSameBytesToMemoryASinkAndAFile) {
    const TemporaryFolder folder;
    const std::vector<std::byte> inMemory = samplePdf(kClock);

    std::vector<std::byte> streamed;
    PdfDocument toSink(
        [&streamed](std::span<const std::byte> bytes) { streamed.insert(streamed.end(), bytes.begin(), bytes.end()); },
        kClock, PdfMetadata{"Sample title", "", "", "Stubforge"});
    drawSamplePages(toSink);
    EXPECT_TRUE(toSink.finish().empty());
    EXPECT_EQ(streamed, inMemory);

    const fs::path path = folder.path() / "direct.pdf";
    PdfDocument toFile = PdfDocument::toFile(path, kClock, PdfMetadata{"Sample title", "", "", "Stubforge"});
    drawSamplePages(toFile);
    toFile.finish();
    std::ifstream file(path, std::ios::binary);
    std::vector<char> written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(written.size(), inMemory.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), inMemory.begin(),
                           [](char a, std::byte b) { return static_cast<std::byte>(a) == b; }));
}

TEST(PdfDocument, WithoutPagesIsStillAValidPdf) {
    PdfDocument document(kClock);
    const TemporaryFolder folder;
    const fs::path pdf = folder.write("empty.pdf", document.finish());
    EXPECT_EQ(graphics_test::run("qpdf --check " + graphics_test::quoted(pdf)).exitCode, 0);
    EXPECT_NE(graphics_test::infoOf(pdf).find("Pages:           1"), std::string::npos);
}

TEST(PdfDocument, ReportsAFileThatCannotBeCreated) {
    const TemporaryFolder folder;
    const fs::path path = folder.path() / "missing" / "out.pdf";
    try {
        PdfDocument::toFile(path, kClock);
        FAIL() << "no error";
    } catch (const platform::Error& error) {
        EXPECT_TRUE(error.is(PdfDocumentError::cannotCreateFile)) << test_support::describe(error);
        EXPECT_EQ(test_support::posixReason(error), ENOENT);
        EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos) << error.what();
    }
}

// A file size limit makes the write fail the way a full disk does, wherever
// cairo happens to flush.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST(PdfDocument, ReportsAWriteThatFailsAtTheLatestOnFinish) {
    const TemporaryFolder folder;
    const fs::path path = folder.path() / "limited.pdf";
    for (const rlim_t limit : {rlim_t{0}, rlim_t{4000}}) {
        bool thrown = false;
        {
            const FileSizeLimit fileSizeLimit(limit);
            PdfDocument document = PdfDocument::toFile(path, kClock);
            try {
                drawSamplePages(document);
                document.finish();
            } catch (const platform::Error& error) {
                thrown = true;
                EXPECT_TRUE(error.is(PdfDocumentError::writeFailed)) << test_support::describe(error);
                EXPECT_EQ(test_support::posixReason(error), EFBIG) << error.what();
                EXPECT_NE(std::string(error.what()).find("limited.pdf"), std::string::npos) << error.what();
            }
        }
        EXPECT_TRUE(thrown) << limit;
        EXPECT_FALSE(fs::exists(path)) << "a failed document leaves no file";
    }
}

struct SinkFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

TEST(PdfDocument, PassesOnWhatTheSinkThrowsAndStaysFailed) {
    for (const std::size_t failAfter : {std::size_t{0}, std::size_t{2000}}) {
        std::size_t received = 0;
        PdfDocument document(
            [&](std::span<const std::byte> bytes) {
                if (received + bytes.size() > failAfter) {
                    throw SinkFailure("disk gone");
                }
                received += bytes.size();
            },
            kClock);
        EXPECT_THROW(
            {
                for (int page = 0; page < 50; ++page) {
                    Canvas& canvas = document.beginPage(pageSizes::a4, Origin::topLeft);
                    canvas.drawText(AttributedText("Page text " + std::to_string(page), TextStyle{}), Point{50, 50});
                    document.endPage();
                }
                document.finish();
            },
            SinkFailure);
        EXPECT_THROW(document.beginPage(pageSizes::a4, Origin::topLeft), SinkFailure);
    }
}

TEST(PdfDocument, RemovesAFileItNeverFinished) {
    const TemporaryFolder folder;
    const fs::path path = folder.path() / "abandoned.pdf";
    {
        PdfDocument document = PdfDocument::toFile(path, kClock);
        document.beginPage(pageSizes::a4, Origin::topLeft);
        EXPECT_TRUE(fs::exists(path));
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST(PdfDocument, NeverOverwritesOrRemovesAFileItDidNotCreate) {
    const TemporaryFolder folder;
    const auto readAll = [](const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    };
    const auto writeText = [](const fs::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    };

    // An existing file is refused, and stays as it was.
    const fs::path existing = folder.path() / "existing.pdf";
    writeText(existing, "precious");
    try {
        PdfDocument::toFile(existing, kClock);
        FAIL() << "no error";
    } catch (const platform::Error& error) {
        EXPECT_TRUE(error.is(PdfDocumentError::cannotCreateFile)) << test_support::describe(error);
        EXPECT_EQ(test_support::posixReason(error), EEXIST);
        EXPECT_NE(std::string(error.what()).find(existing.string()), std::string::npos) << error.what();
    }
    EXPECT_EQ(readAll(existing), "precious");

    // A file put in place of ours while drawing outlives the abandoned document.
    const fs::path path = folder.path() / "replaced.pdf";
    {
        PdfDocument document = PdfDocument::toFile(path, kClock);
        document.beginPage(pageSizes::a4, Origin::topLeft);
        const fs::path other = folder.path() / "other";
        writeText(other, "someone else's");
        fs::rename(other, path);
    }
    EXPECT_EQ(readAll(path), "someone else's");
}

TEST(PdfDocument, RefusesMisuseWithoutSpoilingTheDocument) {
    PdfDocument document(kClock);
    Canvas& canvas = document.beginPage(pageSizes::a4, Origin::topLeft);
    EXPECT_THROW(document.beginPage(pageSizes::a4, Origin::topLeft), std::logic_error);
    EXPECT_THROW(canvas.restore(), std::logic_error);
    EXPECT_THROW(canvas.fillRect({std::nan(""), 0, 10, 10}, colors::black), std::invalid_argument);
    EXPECT_THROW(canvas.scale(0, 1), std::invalid_argument);
    EXPECT_THROW(canvas.translate(std::numeric_limits<double>::infinity(), 0), std::invalid_argument);
    canvas.fillRect({10, 10, 10, 10}, colors::black);
    document.endPage();
    EXPECT_THROW(document.endPage(), std::logic_error);
    EXPECT_THROW(canvas.fillRect({10, 10, 10, 10}, colors::black), std::logic_error);
    EXPECT_THROW(document.beginPage({0, 100}, Origin::topLeft), std::invalid_argument);
    const TemporaryFolder folder;
    const fs::path pdf = folder.write("misuse.pdf", document.finish());
    EXPECT_EQ(graphics_test::run("qpdf --check " + graphics_test::quoted(pdf)).exitCode, 0);
    EXPECT_THROW(document.finish(), std::logic_error);
}

TEST(PdfDocument, StartsEveryPageFromAFreshState) {
    PdfDocument document(kClock);
    Canvas& first = document.beginPage({100, 100}, Origin::topLeft);
    first.save();
    first.translate(50, 50);
    first.rotate(std::numbers::pi / 3);
    document.endPage();  // the save is left open on purpose
    Canvas& second = document.beginPage({100, 100}, Origin::topLeft);
    second.fillRect({0, 0, 10, 10}, colors::black);
    document.endPage();
    const TemporaryFolder folder;
    const fs::path pdf = folder.write("state.pdf", document.finish());
    const auto image = graphics_test::renderGray(pdf, 2, folder.path());
    EXPECT_LT(image.at(5, 5), 20);
    EXPECT_GT(image.at(55, 55), 235);
}

// Sizes and frames pango cannot lay out are refused as our error, with the
// document still usable: nothing of pango's escapes.
TEST(Typesetter, RefusesWhatPangoCannotLayOutWithItsOwnCodes) {
    Typesetter typesetter;
    const struct {
        const char* name;
        double fontSize;
        double width;
        TypesetterError code;
    } cases[] = {
        {"zero size", 0, kUnbounded, TypesetterError::invalidFontSize},
        {"negative size", -4, kUnbounded, TypesetterError::invalidFontSize},
        {"size not a number", std::nan(""), kUnbounded, TypesetterError::invalidFontSize},
        {"size beyond pango's widths", 501, kUnbounded, TypesetterError::invalidFontSize},
        {"width not a number", 12, std::nan(""), TypesetterError::invalidFrame},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        try {
            typesetter.measure(AttributedText("x", TextStyle{Font::system(item.fontSize)}), item.width);
            ADD_FAILURE() << "no error";
        } catch (const platform::Error& error) {
            EXPECT_TRUE(error.is(item.code)) << test_support::describe(error);
        }
    }
    EXPECT_GT(typesetter.measure(AttributedText("x", TextStyle{Font::system(500)})).width, 0);
}

}  // namespace
