#include "stubforge/pdf/PDFWriters.h"

#include "stubforge/pdf/DocumentSupport.h"

#include "DummyPDF.h"
#include "stubforge/pdf/PDFErrors.h"
#include "stubforge/pdf/PDFTexts.h"

#include "ChildProcess.h"
#include "CoreTestSupport.h"
#include "PdfTools.h"

#include "stubforge/core/Options.h"

#include "platform/ErrorCodes.h"

#include <sys/resource.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <functional>

namespace stubforge {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStamp = "20261208065016";

class PDFWritersTest : public ::testing::Test {
protected:
    testing::WriterFixture world;

    static int exitCodeOf(const std::string& command, const fs::path& pdf) {
        return graphics_test::run(command + " " + graphics_test::quoted(pdf)).exitCode;
    }

    static int pageCountOf(const fs::path& pdf) {
        const std::string info = graphics_test::infoOf(pdf);
        const auto at = info.find("Pages:");
        return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
    }

    // Checks that `pdf` has `pages` US Letter pages, each with the dummy line
    // centred across the page and standing on the baseline 378 pt above the
    // bottom edge (414 pt below the top).
    static void expectDummyPages(const fs::path& pdf, int pages) {
        ASSERT_EQ(pageCountOf(pdf), pages);
        EXPECT_NE(graphics_test::infoOf(pdf).find("Page size:       612 x 792 pts (letter)"), std::string::npos);
        EXPECT_EQ(exitCodeOf("qpdf --check", pdf), 0);
        const auto words = graphics_test::wordsOf(pdf);
        for (int page = 0; page < pages; ++page) {
            std::vector<graphics_test::Word> line;
            for (const auto& word : words) {
                if (word.page == page) {
                    line.push_back(word);
                }
            }
            ASSERT_EQ(line.size(), 3u) << "page " << page;
            EXPECT_EQ(line[0].text + " " + line[1].text + " " + line[2].text, pdf_texts::kDummyLine);
            EXPECT_NEAR((line.front().xMin + line.back().xMax) / 2, 306, 1) << "page " << page;
            EXPECT_LT(line[1].yMin, 414 - 20);
            EXPECT_GT(line[1].yMax, 414);
            EXPECT_LT(line[1].yMax, 414 + 12);
        }
        for (const auto& font : graphics_test::fontsOf(pdf)) {
            EXPECT_TRUE(font.embedded) << font.name;
        }
    }
};

// ---- By page count

TEST_F(PDFWritersTest, ByPageCountWritesCentredDummyPages) {
    struct Case {
        std::int64_t count;
        const char* text;
    };
    const Case cases[] = {{7, "7"}, {7, "007"}, {1, "+1"}, {12, "12"}};
    for (const Case& item : cases) {
        const fs::path path = generatePDFByPageCount(item.count, item.text, world.context());
        EXPECT_EQ(path, world.outputFolder / (std::string("document_") + item.text + "pages_" + kStamp + ".pdf"));
        expectDummyPages(path, static_cast<int>(item.count));
    }
}

TEST_F(PDFWritersTest, ByPageCountReachesTheLargestCount) {
    const fs::path path = generatePDFByPageCount(1000, "1000", world.context());
    EXPECT_EQ(pageCountOf(path), 1000);
    EXPECT_EQ(exitCodeOf("qpdf --check", path), 0);
    EXPECT_NE(graphics_test::pageText(path, 1000).find("Stubforge"), std::string::npos);
}

TEST_F(PDFWritersTest, ByPageCountRefusesCountsOutsideTheRangeAndWritesNothing) {
    struct Case {
        std::int64_t count;
        const char* text;
        PDFGeneratorError code;
    };
    constexpr auto outOfRange = PDFGeneratorError::invalidPageCount;
    constexpr auto mismatch = PDFGeneratorError::pageCountTextMismatch;
    const Case cases[] = {{0, "0", outOfRange},         {-3, "-3", outOfRange}, {1001, "1001", outOfRange},
                          {INT64_MIN, "x", outOfRange}, {7, "x", mismatch},     {7, "8", mismatch},
                          {7, "../7", mismatch},        {7, "", mismatch},      {7, "7 ", mismatch},
                          {7, "-7", mismatch}};
    // A folder that is not there yet shows that nothing was even prepared.
    const fs::path notYet = world.outputFolder / "not-yet";
    world.defaults->set("customFolderPath", notYet.string());
    platform::testing::ScopedEnvironment data("XDG_DATA_HOME", (world.root.path() / "fallback").c_str());
    for (const Case& item : cases) {
        try {
            generatePDFByPageCount(item.count, item.text, world.context());
            ADD_FAILURE() << "accepted " << item.count << " as \"" << item.text << "\"";
        } catch (const platform::Error& error) {
            EXPECT_TRUE(error.is(item.code)) << item.text << ": " << error.domain() << " " << error.code();
        }
    }
    EXPECT_EQ(world.outputCount(), 0u);
    EXPECT_FALSE(fs::exists(world.root.path() / "fallback"));
}

TEST_F(PDFWritersTest, UnderAFixedClockTheDummyPdfIsReproducible) {
    const fs::path first = generatePDFByPageCount(3, "3", world.context());
    const fs::path second = generatePDFByPageCount(3, "3", world.context());
    EXPECT_EQ(second.filename(), std::string("document_3pages_") + kStamp + "_2.pdf");
    EXPECT_EQ(testing::readFile(first), testing::readFile(second));
    EXPECT_NE(graphics_test::infoOf(first, "-isodates").find("2026-12-08T06:50:16"), std::string::npos);
}

// ---- By size

TEST_F(PDFWritersTest, DummyBySizeHasTheExactSizeAndStaysValid) {
    const std::uint64_t natural = renderDummyPDF(kSizedDummyPageCount, world.context()).size();
    struct Case {
        const char* text;
        double size;
        std::uint64_t bytes;
    };
    const Case cases[] = {
        {"0.01", 0.01, std::max<std::uint64_t>(10'000, natural)},
        {"1.5", 1.5, 1'500'000},
        {"2.000001", 2.000001, 2'000'001},
        {"0.000001", 0.000001, natural},  // one byte: far below the two pages
    };
    for (const Case& item : cases) {
        const fs::path path =
            generatePDFBySize(item.text, ContentType::dummy, ContentSize::small, item.size, world.context());
        std::string label = item.text;
        std::replace(label.begin(), label.end(), '.', '_');
        EXPECT_EQ(path, world.outputFolder / ("document_" + label + "MB_" + kStamp + ".pdf"));
        EXPECT_EQ(fs::file_size(path), item.bytes) << item.text;
        expectDummyPages(path, kSizedDummyPageCount);
        // The padding stands before the final startxref line; the file still
        // ends with the PDF's own end marker.
        const std::string bytes = testing::readFile(path);
        EXPECT_EQ(bytes.substr(bytes.size() - 6), "%%EOF\n");
        const auto startxref = bytes.rfind("\nstartxref\n");
        ASSERT_NE(startxref, std::string::npos);
        const auto trailerEnd = bytes.rfind(">>", startxref);
        const std::uint64_t padding = item.bytes - natural;
        EXPECT_EQ(startxref - (trailerEnd + 2), padding);
        EXPECT_EQ(bytes.find_first_not_of(' ', trailerEnd + 2), startxref);
        fs::remove(path);
    }
}

TEST_F(PDFWritersTest, BySizeRefusesSizesThatAreNoSize) {
    struct Case {
        const char* text;
        double size;
        ContentType type;
        PDFGeneratorError code;
    };
    // Documents ignore the size, but a size that is none is refused for
    // every type; the size text only names dummy files.
    constexpr auto noSize = PDFGeneratorError::invalidSize;
    constexpr auto badText = PDFGeneratorError::invalidSizeText;
    const Case cases[] = {{"0", 0.0, ContentType::dummy, noSize},
                          {"-1", -1.0, ContentType::invoice, noSize},
                          {"nan", std::nan(""), ContentType::dummy, noSize},
                          {"inf", INFINITY, ContentType::cv, noSize},
                          {"50000.1", 50000.1, ContentType::dummy, noSize},
                          {"", 1.0, ContentType::dummy, badText},
                          {"../1", 1.0, ContentType::dummy, badText}};
    for (const Case& item : cases) {
        try {
            generatePDFBySize(item.text, item.type, ContentSize::small, item.size, world.context());
            ADD_FAILURE() << "accepted \"" << item.text << "\"";
        } catch (const platform::Error& error) {
            EXPECT_TRUE(error.is(item.code)) << item.text << ": " << error.domain() << " " << error.code();
        }
    }
    EXPECT_EQ(world.outputCount(), 0u);
}

TEST_F(PDFWritersTest, WriteFailuresThrowAndLeaveNothing) {
    const int status = platform::testing::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{200000, 200000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            generatePDFBySize("1", ContentType::dummy, ContentSize::small, 1.0, world.context());
        } catch (const platform::Error& error) {
            return std::string(error.what()).find(world.outputFolder.string()) != std::string::npos ? 0 : 4;
        }
        return 5;
    });
    EXPECT_EQ(status, 0);

    // A folder where the output folder should be: neither writer gets a file out.
    world.defaults->set("useCustomFolder", false);
    platform::testing::ScopedEnvironment data("XDG_DATA_HOME", (world.root.path() / "data").c_str());
    fs::create_directories(world.root.path() / "data");
    testing::writeFile(world.root.path() / "data" / "Stubforge", "a file, not a folder");
    EXPECT_THROW(generatePDFByPageCount(2, "2", world.context()), platform::Error);
    EXPECT_THROW(generatePDFBySize("1", ContentType::dummy, ContentSize::small, 1.0, world.context()), platform::Error);
    EXPECT_EQ(world.outputCount(), 0u);
}

TEST_F(PDFWritersTest, CancellationStopsTheWriteAndLeavesNothing) {
    platform::CancellationToken cancel;
    cancel.cancel();
    const std::function<void()> writes[] = {
        [&] { generatePDFByPageCount(5, "5", world.context(&cancel)); },
        [&] { generatePDFBySize("5", ContentType::dummy, ContentSize::small, 5.0, world.context(&cancel)); },
    };
    for (const auto& write : writes) {
        try {
            write();
            ADD_FAILURE() << "no error";
        } catch (const platform::Error& error) {
            EXPECT_TRUE(error.is(platform::OutputFileError::cancelled)) << error.domain() << " " << error.code();
        }
    }
    EXPECT_EQ(world.outputCount(), 0u);
}

// ---- Padding

TEST(PadFileWithSpacesTest, PadsBeforeTheLastStartxrefLine) {
    struct Case {
        std::string pdf;
        std::uint64_t count;
        std::string expected;
    };
    const std::string lf = "%PDF-1.5\n<<>>\nstartxref\n9\n%%EOF\n";
    const std::string crlf = "%PDF-1.5\r\n<<>>\r\nstartxref\r\n9\r\n%%EOF\r\n";
    // An updated file has a startxref per revision; only the last one counts.
    const std::string updated = "%PDF\nstartxref\n1\n%%EOF\n<<>>\nstartxref\n2\n%%EOF\n";
    const Case cases[] = {
        {lf, 0, lf},
        {lf, 3, "%PDF-1.5\n<<>>   \nstartxref\n9\n%%EOF\n"},
        {crlf, 2, "%PDF-1.5\r\n<<>>  \r\nstartxref\r\n9\r\n%%EOF\r\n"},
        {updated, 1, "%PDF\nstartxref\n1\n%%EOF\n<<>> \nstartxref\n2\n%%EOF\n"},
    };
    platform::testing::TemporaryDirectory folder;
    int index = 0;
    for (const Case& item : cases) {
        platform::OutputFile file(folder.path() / ("padded" + std::to_string(index++) + ".pdf"));
        padFileWithSpaces(file, std::as_bytes(std::span(item.pdf.data(), item.pdf.size())), item.count);
        EXPECT_EQ(testing::readFile(file.commit()), item.expected);
    }
    // 64,001 spaces: a chunk and one more, all of them there.
    platform::OutputFile large(folder.path() / "large.pdf");
    padFileWithSpaces(large, std::as_bytes(std::span(lf.data(), lf.size())), 64'001);
    const std::string padded = testing::readFile(large.commit());
    EXPECT_EQ(padded.size(), lf.size() + 64'001);
    EXPECT_EQ(padded.find_first_not_of(' ', 13), 13u + 64'001);

    platform::OutputFile notPdf(folder.path() / "not.pdf");
    const std::string text = "no cross-reference here";
    try {
        padFileWithSpaces(notPdf, std::as_bytes(std::span(text.data(), text.size())), 5);
        ADD_FAILURE() << "no error";
    } catch (const platform::Error& error) {
        EXPECT_TRUE(error.is(PDFGeneratorError::notAPDF)) << error.domain() << " " << error.code();
    }
}

}  // namespace
}  // namespace stubforge
