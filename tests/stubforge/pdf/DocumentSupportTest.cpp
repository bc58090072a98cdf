#include "stubforge/pdf/DocumentSupport.h"

#include "CoreTestSupport.h"
#include "PdfTools.h"

#include "platform/ErrorCodes.h"
#include "platform/graphics/Color.h"

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <thread>
#include <vector>

namespace stubforge {
namespace {

namespace fs = std::filesystem;
namespace graphics = platform::graphics;

constexpr std::uint64_t kAllOnes = std::numeric_limits<std::uint64_t>::max();

// Hands out the given words in order and counts them; running out fails the
// test instead of wrapping around.
class ScriptedRandom final : public platform::RandomSource {
public:
    explicit ScriptedRandom(std::vector<std::uint64_t> words) : words_(std::move(words)) {}
    std::uint64_t next() override {
        if (draws_ >= words_.size()) {
            throw std::logic_error("the script ran out of words");
        }
        return words_[draws_++];
    }
    std::size_t draws() const { return draws_; }

private:
    std::vector<std::uint64_t> words_;
    std::size_t draws_ = 0;
};

// ---- Random values

using platform::RandomSourceError;

// Bounds with nothing to draw from are our error, not the standard library's.
void expectRandomError(RandomSourceError code, const std::function<void()>& draw) {
    try {
        draw();
        ADD_FAILURE() << "no error";
    } catch (const platform::Error& error) {
        EXPECT_TRUE(error.is(code)) << error.domain() << " " << error.code();
    }
}

TEST(RandomIntBelowTest, StaysBelowTheBoundForEveryBound) {
    const std::uint64_t bounds[] = {1,       2, 3, 7, 1000, (std::uint64_t{1} << 53) + 1, (std::uint64_t{1} << 63) + 1,
                                    kAllOnes};
    platform::SeededRandom seeded(7);
    for (const std::uint64_t n : bounds) {
        // The extreme words first: the largest product must still land below n.
        ScriptedRandom extremes({kAllOnes, 0, 1, kAllOnes - 1, 0, 1});
        for (int i = 0; i < 3; ++i) {
            EXPECT_LT(randomIntBelow(extremes, n), n) << "n = " << n;
        }
        for (int i = 0; i < 2000; ++i) {
            ASSERT_LT(randomIntBelow(seeded, n), n) << "n = " << n;
        }
    }
    expectRandomError(RandomSourceError::invalidBound, [&] { randomIntBelow(seeded, 0); });
}

TEST(RandomIntBelowTest, OneNeedsASingleDrawAndBiasedDrawsAreRejected) {
    ScriptedRandom one({kAllOnes});
    EXPECT_EQ(randomIntBelow(one, 1), 0u);
    EXPECT_EQ(one.draws(), 1u);

    // For n = 3 the rejection threshold is (2^64 - 3) mod 3 = 1: the word 0
    // (low product 0) is discarded and the next one decides.
    ScriptedRandom rejected({0, kAllOnes});
    EXPECT_EQ(randomIntBelow(rejected, 3), 2u);
    EXPECT_EQ(rejected.draws(), 2u);
}

TEST(RandomIntBelowTest, IsUniformWhereShortcutsAreBiased) {
    // n = 3 * 2^62: a plain modulo gives the lowest third half of all draws,
    // and a product without rejection gives multiples of 3 half of all draws.
    const std::uint64_t n = std::uint64_t{3} << 62;
    platform::SeededRandom random(11);
    constexpr int kDraws = 9000;
    int lowThird = 0;
    int multiplesOfThree = 0;
    for (int i = 0; i < kDraws; ++i) {
        const std::uint64_t value = randomIntBelow(random, n);
        lowThird += value < n / 3 ? 1 : 0;
        multiplesOfThree += value % 3 == 0 ? 1 : 0;
    }
    // One third each, give or take five standard deviations (about 0.025).
    EXPECT_NEAR(lowThird / double(kDraws), 1.0 / 3.0, 0.025);
    EXPECT_NEAR(multiplesOfThree / double(kDraws), 1.0 / 3.0, 0.025);
}

TEST(RandomDoubleTest, HalfOpenRangeNeverReachesItsUpperBound) {
    // All 53 low bits set: 1 + (2 - 1) * (1 - 2^-53) rounds to exactly 2,
    // so that draw is thrown away and the next (0) gives the lower bound.
    ScriptedRandom roundsUp({kAllOnes, 0});
    EXPECT_EQ(randomDoubleInRange(roundsUp, 1.0, 2.0), 1.0);
    EXPECT_EQ(roundsUp.draws(), 2u);

    struct Range {
        double lower;
        double upper;
    };
    const Range ranges[] = {{0, 1}, {1, 2}, {0, 3}, {-5, -4}, {0, 1e-300}, {-1e300, 1e300}, {86400, 1209600}};
    platform::SeededRandom seeded(3);
    for (const Range& range : ranges) {
        ScriptedRandom top({kAllOnes, kAllOnes >> 11, 0});
        const double highest = randomDoubleInRange(top, range.lower, range.upper);
        EXPECT_LT(highest, range.upper) << range.lower << " to " << range.upper;
        EXPECT_GE(highest, range.lower);
        for (int i = 0; i < 2000; ++i) {
            const double value = randomDoubleInRange(seeded, range.lower, range.upper);
            ASSERT_GE(value, range.lower);
            ASSERT_LT(value, range.upper);
        }
    }
    expectRandomError(RandomSourceError::invalidRange, [&] { randomDoubleInRange(seeded, 2.0, 2.0); });
    expectRandomError(RandomSourceError::invalidRange, [&] {
        randomDoubleInRange(seeded, -std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
    });
    expectRandomError(RandomSourceError::invalidRange, [&] { randomDoubleInRange(seeded, 0, INFINITY); });
}

TEST(RandomDoubleTest, ClosedRangeReachesBothEnds) {
    // The largest word maps to k = 2^53: the upper bound itself.
    ScriptedRandom top({kAllOnes});
    EXPECT_EQ(randomDoubleInClosedRange(top, 0.3, 0.7), 0.7);
    ScriptedRandom bottom({1});  // the word 0 falls in the rejected low range
    EXPECT_EQ(randomDoubleInClosedRange(bottom, 0.3, 0.7), 0.3);

    platform::SeededRandom seeded(5);
    for (int i = 0; i < 2000; ++i) {
        const double value = randomDoubleInClosedRange(seeded, 0.5, 2.0);
        ASSERT_GE(value, 0.5);
        ASSERT_LE(value, 2.0);
    }
    expectRandomError(RandomSourceError::invalidRange, [&] { randomDoubleInClosedRange(seeded, 0, INFINITY); });
}

// ---- Fonts

TEST(StaticFontTest, IsMadeOnceWhicheverThreadComesFirst) {
    static constinit StaticFontSlot slot;
    std::vector<const graphics::Font*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] { seen[i] = &makeStaticFont(FontWeight::bold, 24, slot); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const graphics::Font* font : seen) {
        EXPECT_EQ(font, seen.front());
    }
    EXPECT_EQ(*seen.front(), graphics::Font::boldSystem(24));
    // A filled slot keeps its font.
    EXPECT_EQ(&makeStaticFont(FontWeight::regular, 10, slot), seen.front());
    EXPECT_EQ(seen.front()->size, 24);

    static constinit StaticFontSlot italic;
    EXPECT_EQ(makeStaticFont(systemFont(FontWeight::regular, 10).asItalic(), italic),
              (graphics::Font{std::string(graphics::kSystemFamily), 10, false, true}));
}

// ---- Pipeline

class PipelineTest : public ::testing::Test {
protected:
    testing::WriterFixture world;

    static graphics::AttributedText line(std::string_view text) {
        graphics::TextStyle style;
        style.font = systemFont(FontWeight::regular, 12);
        return graphics::AttributedText(text, style);
    }

    // A page per label, each with its label near the page's origin corner.
    static DrawPages labelledPages(std::vector<std::string> labels) {
        return [labels](DocumentPages& pages) {
            for (const std::string& label : labels) {
                pages.drawPage([&](graphics::Canvas& canvas) { canvas.drawTextLine(line(label), {50, 60}); });
            }
        };
    }
};

TEST_F(PipelineTest, WritesEveryPageOfTheSetupInOneFile) {
    struct Case {
        PageSetup setup;
        const char* sizeLine;
        bool nearTop;  // where a line drawn at y = 60 lands
    };
    const Case cases[] = {
        {{graphics::pageSizes::a4, graphics::Origin::topLeft}, "595 x 842 pts (A4)", true},
        {{graphics::pageSizes::usLetterLandscape, graphics::Origin::topLeft}, "792 x 612 pts", true},
        {{graphics::pageSizes::a4, graphics::Origin::bottomLeft}, "595 x 842 pts (A4)", false},
    };
    int index = 0;
    for (const Case& item : cases) {
        const fs::path destination = world.outputFolder / ("case" + std::to_string(index++) + ".pdf");
        const fs::path path =
            generatePDFDocument(destination, item.setup, world.context(), labelledPages({"Alpha", "Beta", "Gamma"}));
        ASSERT_EQ(path, destination);
        const std::string info = graphics_test::infoOf(path, "-isodates");
        EXPECT_NE(info.find("Pages:           3"), std::string::npos) << info;
        EXPECT_NE(info.find(item.sizeLine), std::string::npos) << info;
        // The creation date is the context's clock, not the time of the run.
        EXPECT_NE(info.find("2026-12-08T06:50:16"), std::string::npos) << info;
        const auto words = graphics_test::wordsOf(path);
        const char* labels[] = {"Alpha", "Beta", "Gamma"};
        for (int page = 0; page < 3; ++page) {
            const auto found = graphics_test::find(words, labels[page], page);
            ASSERT_EQ(found.size(), 1u) << labels[page];
            EXPECT_EQ(found[0].yMax < item.setup.mediaBox.height / 2, item.nearTop);
        }
        EXPECT_EQ(graphics_test::run("qpdf --check " + graphics_test::quoted(path)).exitCode, 0);
    }
    // A taken name is never overwritten.
    const fs::path again = generatePDFDocument(world.outputFolder / "case0.pdf", cases[0].setup, world.context(),
                                               labelledPages({"Delta"}));
    EXPECT_EQ(again.filename(), "case0_2.pdf");
}

TEST_F(PipelineTest, FailuresLeaveNothingBehind) {
    const PageSetup setup{graphics::pageSizes::a4, graphics::Origin::topLeft};
    // A drawing that fails half way.
    EXPECT_THROW(generatePDFDocument(world.outputFolder / "broken.pdf", setup, world.context(),
                                     [](DocumentPages& pages) {
                                         pages.drawPage({});
                                         throw std::runtime_error("drawing failed");
                                     }),
                 std::runtime_error);
    // A folder that is not there: the output file's own error, naming the file.
    try {
        generatePDFDocument(world.outputFolder / "missing" / "doc.pdf", setup, world.context(), labelledPages({"A"}));
        FAIL() << "expected an error";
    } catch (const platform::Error& error) {
        EXPECT_TRUE(error.is(platform::OutputFileError::couldNotCreate)) << error.domain() << " " << error.code();
        EXPECT_NE(std::string(error.what()).find("doc.pdf"), std::string::npos);
    }
    // A cancelled request stops between pages.
    platform::CancellationToken cancel;
    int pagesDrawn = 0;
    EXPECT_THROW(generatePDFDocument(world.outputFolder / "cancelled.pdf", setup, world.context(&cancel),
                                     [&](DocumentPages& pages) {
                                         for (int i = 0; i < 5; ++i) {
                                             pages.drawPage([&](graphics::Canvas&) { ++pagesDrawn; });
                                             cancel.cancel();
                                         }
                                     }),
                 platform::Error);
    EXPECT_EQ(pagesDrawn, 1);
    EXPECT_EQ(world.outputCount(), 0u);
}

TEST_F(PipelineTest, SameClockAndSeedGiveTheSameBytes) {
    const PageSetup setup{graphics::pageSizes::usLetter, graphics::Origin::topLeft};
    const auto render = [&](testing::WriterFixture& fixture) {
        return renderPDFDocument(setup, fixture.context(), [](DocumentPages& pages) {
            platform::RandomSource& random = pages.context().random();
            for (int page = 0; page < 3; ++page) {
                const std::string drawn = std::to_string(randomIntBelow(random, 1'000'000'000));
                pages.drawPage([&](graphics::Canvas& canvas) { canvas.drawTextLine(line(drawn), {72, 72}); });
            }
        });
    };
    testing::WriterFixture twin;
    const auto first = render(world);
    EXPECT_EQ(render(twin), first);

    testing::WriterFixture otherSeed;
    otherSeed.random = platform::SeededRandom(2);
    EXPECT_NE(render(otherSeed), first);

    testing::WriterFixture otherClock;
    otherClock.clock = platform::FixedClock(otherClock.clock.now() + std::chrono::hours(24));
    EXPECT_NE(render(otherClock), first);
}

// ---- Pagination

TEST_F(PipelineTest, TextPagesCarryTheirSliceAndDecoration) {
    const PageSetup setup{graphics::pageSizes::usLetter, graphics::Origin::topLeft};
    const fs::path path =
        generatePDFDocument(world.outputFolder / "flow.pdf", setup, world.context(), [](DocumentPages& pages) {
            std::string text = "Opening paragraph\n";
            for (int i = 0; i < 80; ++i) {
                text += "Clause " + std::to_string(i) + " of the long text\n";
            }
            text += "\fAfter the break";
            graphics::TextFlow flow = paginateText(pages.typesetter(), line(text), {512, 692});
            ASSERT_GE(flow.pageCount(), 3u);
            drawTextPages(pages, flow, {50, 50}, [](graphics::Canvas& canvas, std::size_t page, std::size_t count) {
                canvas.drawTextLine(line("Page " + std::to_string(page + 1) + " of " + std::to_string(count)),
                                    {50, 770});
            });
        });
    const std::string info = graphics_test::infoOf(path);
    const auto pagesLine = info.find("Pages:");
    ASSERT_NE(pagesLine, std::string::npos);
    const int pageCount = std::stoi(info.substr(pagesLine + 6));
    for (int page = 1; page <= pageCount; ++page) {
        const std::string text = graphics_test::pageText(path, page);
        EXPECT_NE(text.find("Page " + std::to_string(page) + " of " + std::to_string(pageCount)), std::string::npos)
            << text;
    }
    // The form feed put the last line on a page of its own.
    EXPECT_EQ(graphics_test::pageText(path, pageCount).find("Clause"), std::string::npos);
    EXPECT_NE(graphics_test::pageText(path, pageCount).find("After the break"), std::string::npos);
    const auto opening = graphics_test::find(graphics_test::wordsOf(path), "Opening", 0);
    ASSERT_EQ(opening.size(), 1u);
    EXPECT_NEAR(opening[0].xMin, 50, 1);
    EXPECT_GE(opening[0].yMin, 50 - 1);
    EXPECT_LT(opening[0].yMax, 50 + 20);
}

TEST_F(PipelineTest, EmptyTextHasNoPages) {
    const PageSetup setup{graphics::pageSizes::usLetter, graphics::Origin::topLeft};
    int drawn = -1;
    renderPDFDocument(setup, world.context(), [&](DocumentPages& pages) {
        const graphics::TextFlow flow = paginateText(pages.typesetter(), {}, {512, 692});
        EXPECT_EQ(flow.pageCount(), 0u);
        drawTextPages(pages, flow, {50, 50});
        drawn = pages.pageCount();
    });
    EXPECT_EQ(drawn, 0);
}

}  // namespace
}  // namespace stubforge
