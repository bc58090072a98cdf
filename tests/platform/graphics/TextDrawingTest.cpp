#include "PdfTools.h"
#include "platform/graphics/PdfDocument.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <numbers>

namespace {

using namespace platform::graphics;
using graphics_test::TemporaryFolder;
using graphics_test::Word;

const platform::FixedClock kClock(platform::TimePoint{});

// Draws one page and reads it back with pdftotext -bbox.
std::vector<Word> drawnWords(Size page, Origin origin, const std::function<void(Canvas&)>& draw) {
    PdfDocument document(kClock);
    draw(document.beginPage(page, origin));
    document.endPage();
    const TemporaryFolder folder;
    return graphics_test::wordsOf(folder.write("page.pdf", document.finish()));
}

graphics_test::GrayImage drawnImage(Size page, Origin origin, const std::function<void(Canvas&)>& draw) {
    PdfDocument document(kClock);
    draw(document.beginPage(page, origin));
    document.endPage();
    const TemporaryFolder folder;
    return graphics_test::renderGray(folder.write("page.pdf", document.finish()), 1, folder.path());
}

// `rect` given in top-left page coordinates, in the page's own coordinates.
Rect onPage(Rect rect, Origin origin, double pageHeight) {
    if (origin == Origin::bottomLeft) {
        rect.y = pageHeight - rect.y - rect.height;
    }
    return rect;
}

double lineHeight(Typesetter& typesetter, const TextStyle& style) {
    const LineMetrics metrics = typesetter.measureLine(AttributedText("Xg", style));
    return metrics.ascent + metrics.descent;
}

TEST(Measure, UsesAbsolutePointsAndUnroundedPositions) {
    Typesetter typesetter;
    // Liberation Sans has Helvetica's advance widths: "H" is 0.722 em.
    const double width = typesetter.measure(AttributedText("HHHH", TextStyle{Font::named("Helvetica", 12)})).width;
    EXPECT_NEAR(width, 4 * 0.722 * 12, 0.05);
    // Small text scales exactly; rounded glyph positions would not.
    const std::string sample = "The quick brown fox jumps over the lazy dog, 0123456789.";
    const double at1 = typesetter.measure(AttributedText(sample, TextStyle{Font::system(1)})).width;
    const double at6 = typesetter.measure(AttributedText(sample, TextStyle{Font::system(6)})).width;
    const double at60 = typesetter.measure(AttributedText(sample, TextStyle{Font::system(60)})).width;
    EXPECT_NEAR(at6, at60 / 10, at60 * 1e-4);
    EXPECT_NEAR(at1, at60 / 60, at60 * 1e-4);
}

TEST(Measure, WrapsAtTheWidthAndStacksParagraphs) {
    Typesetter typesetter;
    TextStyle style{Font::system(12)};
    const double line = lineHeight(typesetter, style);
    const double twoWords = typesetter.measure(AttributedText("alpha beta", style)).width;
    const AttributedText text("alpha beta gamma\nsecond paragraph", style);
    const Size wrapped = typesetter.measure(text, twoWords + 1);
    EXPECT_NEAR(wrapped.height, 4 * line, 1e-6);  // "alpha beta" / "gamma" / "second" / "paragraph"
    EXPECT_LE(wrapped.width, twoWords + 1);
    const Size unwrapped = typesetter.measure(text);
    EXPECT_NEAR(unwrapped.height, 2 * line, 1e-6);
    EXPECT_NEAR(unwrapped.width, typesetter.measure(AttributedText("alpha beta gamma", style)).width, 1e-6);

    style.paragraph.lineSpacing = 10;
    style.paragraph.paragraphSpacing = 6;
    EXPECT_NEAR(typesetter.measure(AttributedText("one\ntwo\nthree", style)).height, 3 * line + 2 * 16, 1e-6);
    EXPECT_EQ(typesetter.measure(AttributedText()), (Size{0, 0}));
}

struct AlignmentCase {
    Alignment alignment;
    Origin origin;
};

class BoxedText : public testing::TestWithParam<AlignmentCase> {};

TEST_P(BoxedText, StartsAtTheTopEdgeAndAligns) {
    const auto [alignment, origin] = GetParam();
    const Rect box{100, 200, 300, 60};  // top-left page coordinates
    TextStyle style{Font::system(14)};
    style.paragraph.alignment = alignment;
    const auto words = drawnWords(pageSizes::a4, origin, [&](Canvas& canvas) {
        canvas.drawText(AttributedText("Placed text", style), onPage(box, origin, 842));
    });
    const auto placed = graphics_test::find(words, "Placed");
    const auto text = graphics_test::find(words, "text");
    ASSERT_EQ(placed.size(), 1u);
    ASSERT_EQ(text.size(), 1u);
    EXPECT_NEAR(placed[0].yMin, box.y, 1.5);
    const double left = placed[0].xMin;
    const double right = text[0].xMax;
    switch (alignment) {
    case Alignment::left:
    case Alignment::justified:  // a single line is its paragraph's last
        EXPECT_NEAR(left, box.x, 1);
        break;
    case Alignment::center:
        EXPECT_NEAR((left + right) / 2, box.x + box.width / 2, 1);
        break;
    case Alignment::right:
        EXPECT_NEAR(right, box.x + box.width, 1);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Alignments, BoxedText,
                         testing::Values(AlignmentCase{Alignment::left, Origin::topLeft},
                                         AlignmentCase{Alignment::left, Origin::bottomLeft},
                                         AlignmentCase{Alignment::center, Origin::topLeft},
                                         AlignmentCase{Alignment::center, Origin::bottomLeft},
                                         AlignmentCase{Alignment::right, Origin::topLeft},
                                         AlignmentCase{Alignment::right, Origin::bottomLeft},
                                         AlignmentCase{Alignment::justified, Origin::bottomLeft}));

TEST(DrawText, CentresALineOnItsBaseline) {
    // The dummy page: Helvetica 36 centred by its line width, baseline at (h - 36) / 2.
    const Size page = pageSizes::usLetter;
    const AttributedText line("- Stubforge -", TextStyle{Font::named("Helvetica", 36)});
    double ascent = 0;
    const auto words = drawnWords(page, Origin::bottomLeft, [&](Canvas& canvas) {
        const LineMetrics metrics = canvas.measureLine(line);
        ascent = metrics.ascent;
        canvas.drawTextLine(line, {(page.width - metrics.width) * 0.5, (page.height - 36) * 0.5});
    });
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[1].text, "Stubforge");
    EXPECT_NEAR((words.front().xMin + words.back().xMax) / 2, page.width / 2, 1);
    const double baselineFromTop = page.height - (page.height - 36) * 0.5;
    EXPECT_NEAR(words[1].yMin, baselineFromTop - ascent, 1);
}

TEST(DrawText, AtAPointTakesTheNearCornerOfItsBox) {
    const TextStyle style{Font::system(20)};
    for (const Origin origin : {Origin::topLeft, Origin::bottomLeft}) {
        Size used;
        const auto words = drawnWords(pageSizes::usLetterLandscape, origin, [&](Canvas& canvas) {
            // Two lines whose box's top-left corner is (60, 100) on the paper.
            const AttributedText text("Upper line\nLower line", style);
            used = canvas.measure(text);
            const Point at = origin == Origin::topLeft ? Point{60, 100} : Point{60, 612 - 100 - used.height};
            EXPECT_EQ(canvas.drawText(text, at), used);
        });
        const auto upper = graphics_test::find(words, "Upper");
        const auto lower = graphics_test::find(words, "Lower");
        ASSERT_EQ(upper.size(), 1u);
        ASSERT_EQ(lower.size(), 1u);
        EXPECT_NEAR(upper[0].xMin, 60, 1);
        EXPECT_NEAR(upper[0].yMin, 100, 1.5);
        EXPECT_NEAR(lower[0].yMin - upper[0].yMin, used.height / 2, 0.5);
    }
}

TEST(DrawText, StandsUprightAfterAFlipMadeWithTransforms) {
    // A bottom-left page turned top-left by hand, as a flipped graphics context does.
    const auto words = drawnWords(pageSizes::a4, Origin::bottomLeft, [](Canvas& canvas) {
        canvas.translate(0, 842);
        canvas.scale(1, -1);
        canvas.drawText(AttributedText("Flipped heading", TextStyle{Font::boldSystem(20)}), Point{60, 100});
    });
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].text, "Flipped");  // not mirrored: pdftotext reads it in order
    EXPECT_NEAR(words[0].xMin, 60, 1);
    EXPECT_NEAR(words[0].yMin, 100, 1.5);
}

TEST(DrawText, LeavesOutLinesThatDoNotFitTheBox) {
    const TextStyle style{Font::system(12)};
    Typesetter typesetter;
    const double line = lineHeight(typesetter, style);
    struct Case {
        double height;
        int expectedLines;
    };
    for (const Case testCase : {Case{2 * line + 1, 2}, Case{line / 2, 1}, Case{10 * line, 5}}) {
        const auto words = drawnWords(pageSizes::a4, Origin::bottomLeft, [&](Canvas& canvas) {
            canvas.drawText(AttributedText("first\nsecond\nthird\nfourth\nfifth", style),
                            Rect{50, 500, 200, testCase.height});
        });
        EXPECT_EQ(static_cast<int>(words.size()), testCase.expectedLines) << testCase.height;
    }
}

TEST(DrawText, JustifiesAllButTheLastLineAndIndents) {
    TextStyle style{Font::system(12)};
    style.paragraph.alignment = Alignment::justified;
    style.paragraph.firstLineHeadIndent = 10;
    style.paragraph.headIndent = 30;
    std::string text;
    for (int word = 0; word < 40; ++word) {
        text.append("w").append(std::to_string(word)).append("x ");
    }
    text += "end";
    const Rect box{50, 50, 300, 400};
    const auto words = drawnWords(pageSizes::a4, Origin::topLeft,
                                  [&](Canvas& canvas) { canvas.drawText(AttributedText(text, style), box); });
    std::map<long, std::pair<double, double>> lines;  // yMin -> leftmost, rightmost
    for (const Word& word : words) {
        auto [entry, inserted] = lines.try_emplace(std::lround(word.yMin), word.xMin, word.xMax);
        entry->second.first = std::min(entry->second.first, word.xMin);
        entry->second.second = std::max(entry->second.second, word.xMax);
    }
    ASSERT_GE(lines.size(), 3u);
    std::size_t index = 0;
    for (const auto& [top, extent] : lines) {
        const bool first = index == 0;
        const bool last = ++index == lines.size();
        EXPECT_NEAR(extent.first, box.x + (first ? 10 : 30), 1) << "line " << index;
        if (!last) {
            EXPECT_NEAR(extent.second, box.x + box.width, 1) << "line " << index;
        } else {
            EXPECT_LT(extent.second, box.x + box.width - 20);
        }
    }
}

TEST(DrawText, LaysOutLongParagraphsInFullLines) {
    // Some 40 kB in one paragraph: laid out in several pieces, which must
    // join without a short line or a lost word.
    TextStyle style{Font::system(6)};
    style.paragraph.alignment = Alignment::justified;
    std::string text;
    int wordCount = 0;
    for (; text.size() < 40000; ++wordCount) {
        text.append("w").append(std::to_string(wordCount * 7919 % 100000)).append(" ");
    }
    text += "end";
    ++wordCount;
    const Rect box{20, 20, 500, 2960};
    const auto words = drawnWords({540, 3000}, Origin::topLeft,
                                  [&](Canvas& canvas) { canvas.drawText(AttributedText(text, style), box); });
    EXPECT_EQ(static_cast<int>(words.size()), wordCount);
    std::map<long, std::pair<double, double>> lines;
    for (const Word& word : words) {
        auto [entry, inserted] = lines.try_emplace(std::lround(word.yMin * 10), word.xMin, word.xMax);
        entry->second.first = std::min(entry->second.first, word.xMin);
        entry->second.second = std::max(entry->second.second, word.xMax);
    }
    ASSERT_GT(lines.size(), 200u);
    std::size_t index = 0;
    for (const auto& [top, extent] : lines) {
        EXPECT_NEAR(extent.first, box.x, 0.5) << "line " << index;
        if (++index < lines.size()) {
            EXPECT_NEAR(extent.second, box.x + box.width, 0.5) << "line " << index;
        }
    }
}

TEST(Shapes, LandWhereTheirOriginSaysInBothSystems) {
    for (const Origin origin : {Origin::topLeft, Origin::bottomLeft}) {
        const auto image = drawnImage({200, 100}, origin, [&](Canvas& canvas) {
            // On the paper: a black square at the top left, a half-grey disc at the bottom right.
            canvas.fillRect(onPage({10, 10, 20, 20}, origin, 100), colors::black);
            canvas.fillOval(onPage({150, 50, 40, 40}, origin, 100), colors::black.withAlpha(0.5));
            canvas.strokeLine(origin == Origin::topLeft ? Point{0, 60} : Point{0, 40},
                              origin == Origin::topLeft ? Point{100, 60} : Point{100, 40}, Stroke{colors::black, 4});
        });
        EXPECT_LT(image.at(20, 20), 20);
        EXPECT_GT(image.at(20, 80), 235);
        EXPECT_NEAR(image.at(170, 70), 128, 12);
        EXPECT_GT(image.at(151, 51), 200);  // outside the disc, inside its bounds
        EXPECT_LT(image.at(50, 60), 40);
        EXPECT_GT(image.at(50, 66), 235);
    }
}

TEST(Shapes, RotationTurnsTheWaysThePageCountsAngles) {
    struct Case {
        Origin origin;
        int darkY;  // on the paper, where a bar rotated by -45° from the centre ends up
        int lightY;
    };
    for (const Case testCase : {Case{Origin::bottomLeft, 135, 65}, Case{Origin::topLeft, 65, 135}}) {
        const auto image = drawnImage({200, 200}, testCase.origin, [](Canvas& canvas) {
            canvas.save();
            canvas.translate(100, 100);
            canvas.rotate(-std::numbers::pi / 4);
            canvas.fillRect({0, -5, 100, 10}, colors::black);
            canvas.restore();
        });
        EXPECT_LT(image.at(135, testCase.darkY), 40);
        EXPECT_GT(image.at(135, testCase.lightY), 235);
    }
}

TEST(Attachments, DrawInTheirBoxStandingOnTheBaseline) {
    for (const Origin origin : {Origin::topLeft, Origin::bottomLeft}) {
        const TextStyle style{Font::system(12)};
        AttributedText text("Sign ", style);
        // The box's lower half, in its own y-up coordinates.
        text.appendAttachment(
            std::make_shared<const Attachment>(Attachment{{60, 40},
                                                          [](Canvas& canvas) {
                                                              canvas.fillRect({0, 0, 60, 20}, colors::black);
                                                          }}),
            style);
        text.append(" here", style);
        Typesetter typesetter;
        const double signWidth = typesetter.measure(AttributedText("Sign ", style)).width;
        const auto image = drawnImage({300, 200}, origin, [&](Canvas& canvas) {
            const double height = canvas.measure(text).height;
            const Point at = origin == Origin::topLeft ? Point{20, 50} : Point{20, 200 - 50 - height};
            canvas.drawText(text, at);
        });
        // The box makes the line's ascent 40, so the baseline is at 90 on the paper.
        const int boxLeft = static_cast<int>(std::ceil(20 + signWidth));
        EXPECT_LT(image.at(boxLeft + 30, 80), 40) << "lower half";
        EXPECT_GT(image.at(boxLeft + 30, 60), 235) << "upper half";
        EXPECT_GT(image.at(boxLeft + 30, 95), 235) << "below the baseline";
    }
}

TEST(Attachments, StrokedPathsAreVectorsInTheBox) {
    Path scribble;
    scribble.moveTo({0, 10}).lineTo({100, 10});
    const auto attachment = Attachment::strokedPath({100, 40}, scribble, Stroke{colors::black, 2});
    const auto image = drawnImage({200, 100}, Origin::topLeft, [&](Canvas& canvas) {
        AttributedText text;
        text.appendAttachment(attachment, TextStyle{Font::system(10)});
        canvas.drawText(text, Point{50, 10});
    });
    // Baseline at 50 on the paper; the stroke 10 above it.
    EXPECT_LT(image.at(100, 40), 60);
    EXPECT_GT(image.at(100, 30), 235);
}

}  // namespace
