#include "Documents.h"
#include "FundPortfolio.h"

#include "stubforge/pdf/PDFWriters.h"

#include "CoreTestSupport.h"
#include "PdfTools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <iterator>
#include <cmath>
#include <numeric>
#include <regex>
#include <set>

namespace stubforge::fund_portfolio {
namespace {

namespace fs = std::filesystem;
namespace graphics = platform::graphics;
using graphics_test::Word;

constexpr double kPageHeight = 842;
constexpr double kPageWidth = 595;

// ---- Reading figures back from the words of a PDF

// "$1,234.56", "+$12.30", "-$8,000.00", "35.3%", "(+2.41%)" -> their value.
double figureOf(std::string text) {
    std::string digits;
    bool negative = false;
    for (const char c : text) {
        if (c == '-') {
            negative = true;
        } else if ((c >= '0' && c <= '9') || c == '.') {
            digits += c;
        }
    }
    const double value = std::stod(digits);
    return negative ? -value : value;
}

// Half a unit of the last digit shown: what rounding to the text can hide.
double roundingOf(const std::string& text) {
    const auto point = text.find('.');
    if (point == std::string::npos) {
        return 0.5;
    }
    std::size_t decimals = 0;
    for (std::size_t at = point + 1; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        ++decimals;
    }
    return 0.5 * std::pow(10.0, -static_cast<double>(decimals));
}

bool startsWith(const std::string& text, std::string_view prefix) { return text.rfind(prefix, 0) == 0; }

bool endsWith(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// pdftotext breaks the turned watermark into pieces; they lie on the
// diagonal through the page centre, which falls to the right.
bool isWatermark(const Word& word) {
    const double dx = (word.xMin + word.xMax) / 2 - kPageWidth / 2;
    const double dy = (word.yMin + word.yMax) / 2 - kPageHeight / 2;
    return kWatermark.find(word.text) != std::string_view::npos && std::fabs(dx - dy) < 40;
}

double yOf(const std::vector<Word>& words, const std::string& text, int page) {
    const auto found = graphics_test::find(words, text, page);
    EXPECT_EQ(found.size(), 1u) << text << " on page " << page;
    return found.empty() ? 0 : found.front().yMin;
}

// Words that are meant to be apart must not share ink: two words on
// different lines whose boxes overlap in both directions collide.
void expectNoCollidingWords(const std::vector<Word>& words) {
    for (std::size_t first = 0; first < words.size(); ++first) {
        if (isWatermark(words[first])) {
            continue;
        }
        for (std::size_t second = first + 1; second < words.size(); ++second) {
            const Word& a = words[first];
            const Word& b = words[second];
            if (a.page != b.page || isWatermark(b)) {
                continue;
            }
            const double overlapX = std::min(a.xMax, b.xMax) - std::max(a.xMin, b.xMin);
            const double overlapY = std::min(a.yMax, b.yMax) - std::max(a.yMin, b.yMin);
            EXPECT_FALSE(overlapX > 0.5 && overlapY > 0.5)
                << "'" << a.text << "' and '" << b.text << "' overlap on page " << a.page;
        }
    }
}

int pageCountOf(const fs::path& pdf) {
    const std::string info = graphics_test::infoOf(pdf);
    const auto at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
}

void expectValidPdf(const fs::path& pdf, int pages) {
    EXPECT_EQ(graphics_test::run(std::string("qpdf --check ").append(graphics_test::quoted(pdf))).exitCode, 0);
    EXPECT_EQ(pageCountOf(pdf), pages);
    EXPECT_NE(graphics_test::infoOf(pdf).find("595 x 842 pts (A4)"), std::string::npos);
    for (const auto& font : graphics_test::fontsOf(pdf)) {
        EXPECT_TRUE(font.embedded) << font.name;
    }
}

// ---- Figures as printed

TEST(FigureTextTest, AFigureThatRoundsToZeroCarriesNoSign) {
    const struct {
        std::string text;
        std::string_view expected;
    } cases[] = {
        {printfText("$%.0f (%.1f%%)", -0.4, -0.04), "$0 (0.0%)"},
        {printfText("$%.0f (%.1f%%)", -0.5, -0.049), "$0 (0.0%)"},
        {printfText("$%.0f (%.1f%%)", -0.6, -1.25), "$-1 (-1.2%)"},
        {printfText("$%.0f (%.1f%%)", 12.0, 3.4), "$12 (3.4%)"},
        {printfText("$%.2f", -0.004), "$0.00"},
        {printfText("$%.2f", -10.0), "$-10.00"},
        {printfText("%.0f-%.0f", 1.0, 0.0), "1-0"},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(each.text, each.expected);
    }
}

// ---- The one-page statement

class FundStatementTest : public ::testing::Test {
protected:
    testing::WriterFixture world;
};

TEST_F(FundStatementTest, FiguresAgreeForEveryHoldingCountAndManySeeds) {
    for (std::uint64_t seed = 1; seed <= 60; ++seed) {
        platform::SeededRandom random(seed);
        const GenerationContext context(world.clock, random, *world.defaults, *world.bundle);
        const std::size_t count = kMinimumHoldings + seed % 4;
        const FundStatement statement = buildFundStatement(context, count);
        ASSERT_EQ(statement.holdings.size(), count);
        double values = 0;
        double allocations = 0;
        for (std::size_t index = 0; index < count; ++index) {
            const Holding& holding = statement.holdings[index];
            EXPECT_EQ(holding.symbol, kSecurities[index].symbol);
            EXPECT_EQ(holding.name, kSecurities[index].companyName);
            EXPECT_DOUBLE_EQ(holding.value, holding.shares * holding.price);
            EXPECT_GE(holding.price, 50);
            EXPECT_LE(holding.price, 400);
            values += holding.value;
            allocations += holding.allocation;
        }
        EXPECT_NEAR(values, statement.total, 1e-6);
        EXPECT_NEAR(allocations, 100, 1e-9);
        EXPECT_GE(statement.total, kMinimumTotal);
        EXPECT_LE(statement.total, kMaximumTotal);
        EXPECT_NEAR(statement.total - statement.previous, statement.change, 1e-6);
        EXPECT_GE(statement.previous / statement.total, 0.85 - 1e-12);
        EXPECT_LE(statement.previous / statement.total, 1.15 + 1e-12);
        EXPECT_NEAR(statement.changePercent, statement.change / statement.previous * 100, 1e-9);
        std::array<double, kAssetClasses.size()> byClass{};
        for (const Holding& holding : statement.holdings) {
            byClass.at(holding.assetClass) += holding.allocation;
        }
        for (std::size_t index = 0; index < kAssetClasses.size(); ++index) {
            EXPECT_NEAR(statement.assetClasses[index], byClass[index], 1e-9) << kAssetClasses[index];
        }
        EXPECT_TRUE(startsWith(statement.accountNumber, "ACC"));
        EXPECT_TRUE(endsWith(statement.firmName, " Asset Management"));
    }
}

TEST_F(FundStatementTest, DrawnCountsAndDatesFollowTheContext) {
    std::set<std::size_t> counts;
    for (int run = 0; run < 60; ++run) {
        counts.insert(buildFundStatement(world.context()).holdings.size());
    }
    EXPECT_EQ(counts, (std::set<std::size_t>{5, 6, 7, 8}));

    const FundStatement statement = buildFundStatement(world.context(), 5);
    EXPECT_EQ(statement.asOfDate, "December 8, 2026");
    EXPECT_EQ(statement.periodStart, "Nov 8, 2026");

    platform::SeededRandom first(7);
    platform::SeededRandom second(7);
    const FundStatement one = buildFundStatement(GenerationContext(world.clock, first, *world.defaults, *world.bundle));
    const FundStatement two =
        buildFundStatement(GenerationContext(world.clock, second, *world.defaults, *world.bundle));
    EXPECT_EQ(one.firmName, two.firmName);
    EXPECT_EQ(one.holdings.size(), two.holdings.size());
    EXPECT_EQ(one.total, two.total);
    EXPECT_THROW(buildFundStatement(world.context(), 0), std::invalid_argument);
    EXPECT_THROW(buildFundStatement(world.context(), 9), std::invalid_argument);
}

TEST(FundStatementLayoutTest, FiveHoldingsKeepTheStandardPlacesAndMoreStillFit) {
    const FundStatementLayout five = layoutFundStatement(5);
    EXPECT_DOUBLE_EQ(five.rowPitch, 22);
    EXPECT_DOUBLE_EQ(five.cellHeight, 18);
    EXPECT_DOUBLE_EQ(five.tableEnd, 284);
    EXPECT_DOUBLE_EQ(five.allocationHeadingBottom, 244);
    EXPECT_DOUBLE_EQ(five.firstAllocationRowBottom, 216);
    EXPECT_DOUBLE_EQ(five.ruleY, 82);
    EXPECT_EQ(five.contactBlock, (graphics::Rect{50, 22, 495, 45}));
    for (std::size_t count = 1; count <= kMaximumHoldings; ++count) {
        const FundStatementLayout layout = layoutFundStatement(count);
        EXPECT_GE(layout.contactBlock.y, kLowestContactBlockBottom - 1e-9) << count;
        EXPECT_LT(layout.contactBlock.y + layout.contactBlock.height, layout.ruleY) << count;
        // Room for one 8-point line in every row, and a rule between rows.
        EXPECT_GE(layout.cellHeight, 12) << count;
        EXPECT_GT(layout.rowPitch, layout.cellHeight) << count;
        const double lastAllocationRow = layout.firstAllocationRowBottom - layout.rowPitch * 5;
        EXPECT_GT(lastAllocationRow, layout.ruleY) << count;
        EXPECT_LT(layout.firstAllocationRowBottom + layout.cellHeight, layout.allocationHeadingBottom) << count;
        EXPECT_LT(layout.allocationHeadingBottom + 20, layout.tableEnd) << count;
    }
}

// The words of a one-page statement: on the page, clear of the bottom edge,
// apart from each other, and with figures that add up.
void expectSoundFundStatementPdf(const fs::path& pdf, const FundStatement& statement) {
    expectValidPdf(pdf, 1);
    const std::vector<Word> words = graphics_test::wordsOf(pdf);
    ASSERT_FALSE(words.empty());
    for (const Word& word : words) {
        if (isWatermark(word)) {
            continue;
        }
        EXPECT_GE(word.xMin, 50 - 1) << word.text;
        EXPECT_LE(word.xMax, kPageWidth - 50 + 1) << word.text;
        EXPECT_GE(word.yMin, 50 - 1) << word.text;
        EXPECT_LE(word.yMax, kPageHeight - kLowestContactBlockBottom) << word.text;
    }
    expectNoCollidingWords(words);

    const double holdingsTop = yOf(words, "HOLDINGS", 0);
    const double allocationTop = yOf(words, "ALLOCATION", 0);
    std::vector<std::string> summary;
    std::vector<std::string> values;
    std::vector<std::string> allocations;
    std::vector<std::string> assetShares;
    for (const Word& word : words) {
        if (word.yMax < holdingsTop && word.xMax > 540 && startsWith(word.text, "$")) {
            summary.push_back(word.text);
        } else if (word.yMin > holdingsTop && word.yMax < allocationTop && word.xMin >= 406 && word.xMax <= 481 &&
                   startsWith(word.text, "$")) {
            values.push_back(word.text);
        } else if (word.yMin > holdingsTop && word.yMax < allocationTop && word.xMin >= 480 && word.text != "%" &&
                   endsWith(word.text, "%")) {
            allocations.push_back(word.text);
        } else if (word.yMin > allocationTop && endsWith(word.text, "%")) {
            assetShares.push_back(word.text);
        }
    }
    ASSERT_EQ(summary.size(), 2u);
    ASSERT_EQ(values.size(), statement.holdings.size());
    ASSERT_EQ(allocations.size(), statement.holdings.size());
    ASSERT_EQ(assetShares.size(), kAssetClasses.size());
    const double total = figureOf(summary[0]);
    const double previous = figureOf(summary[1]);
    double valueSum = 0;
    double valueRounding = roundingOf(summary[0]);
    for (const std::string& value : values) {
        valueSum += figureOf(value);
        valueRounding += roundingOf(value);
    }
    EXPECT_NEAR(valueSum, total, valueRounding + 1e-9);
    double allocationSum = 0;
    for (const std::string& share : allocations) {
        allocationSum += figureOf(share);
    }
    EXPECT_NEAR(allocationSum, 100, 0.05 * static_cast<double>(allocations.size()) + 1e-9);
    double assetSum = 0;
    for (const std::string& share : assetShares) {
        assetSum += figureOf(share);
    }
    EXPECT_NEAR(assetSum, 100, 0.05 * static_cast<double>(assetShares.size()) + 1e-9);
    const auto change = std::find_if(words.begin(), words.end(), [](const Word& word) {
        return startsWith(word.text, "+$") || startsWith(word.text, "-$");
    });
    ASSERT_NE(change, words.end());
    EXPECT_NEAR(total - previous, figureOf(change->text), 0.015);
}

TEST_F(FundStatementTest, EveryHoldingCountFitsTheOnePage) {
    for (std::size_t count = kMinimumHoldings; count <= kMaximumHoldings; ++count) {
        SCOPED_TRACE(std::string("holdings ").append(std::to_string(count)));
        const FundStatement statement = buildFundStatement(world.context(), count);
        const std::vector<std::byte> pdf = renderFundStatement(statement, world.context());
        const fs::path path = world.root.path() / std::string("fund_").append(std::to_string(count)).append(".pdf");
        platform::testing::writeFile(path, std::string(reinterpret_cast<const char*>(pdf.data()), pdf.size()));
        expectSoundFundStatementPdf(path, statement);
        const std::string text = graphics_test::pageText(path, 1);
        EXPECT_NE(text.find("As of December 8, 2026"), std::string::npos);
        EXPECT_NE(text.find("Nov 8, 2026 - December 8, 2026"), std::string::npos);
        EXPECT_NE(text.find(statement.website), std::string::npos);
        EXPECT_NE(text.find(kSecurities[count - 1].companyName), std::string::npos);
    }
}

// ---- The long statement

TEST(LongFundPagePlanTest, EveryRowLandsOnOnePageThatHoldsIt) {
    for (std::size_t count = 0; count <= kMaximumBuiltLongHoldings; ++count) {
        SCOPED_TRACE(std::string("holdings ").append(std::to_string(count)));
        const LongFundPagePlan plan = planLongFundPages(count);
        ASSERT_FALSE(plan.holdingsPages.empty());
        EXPECT_TRUE(plan.holdingsPages.front().first);
        std::size_t next = 0;
        for (std::size_t index = 0; index < plan.holdingsPages.size(); ++index) {
            const HoldingsPage& page = plan.holdingsPages[index];
            EXPECT_EQ(page.first, index == 0);
            EXPECT_EQ(page.firstRow, next);
            EXPECT_LE(page.rowCount, page.first ? long_layout::kFirstPageRows : long_layout::kContinuationRows);
            if (!page.first) {
                EXPECT_GT(page.rowCount, 0u);
            }
            // The last row ends above the footer with room to spare.
            EXPECT_GE(page.rowsBottom(), long_layout::kFooterTop + 10);
            next += page.rowCount;
        }
        EXPECT_EQ(next, count);
        EXPECT_EQ(plan.pageCount(), static_cast<int>(plan.holdingsPages.size()) + 1);
    }
}

TEST(LongFundPagePlanTest, SplitsTheCountsAsTheStatementDoes) {
    struct Case {
        std::size_t count;
        std::vector<std::size_t> rows;
    };
    const Case cases[] = {
        {25, {15, 10}},     {35, {15, 20}},     {36, {15, 21}},         {50, {15, 30, 5}},
        {65, {15, 30, 20}}, {66, {15, 30, 21}}, {95, {15, 30, 30, 20}}, {100, {15, 30, 30, 25}},
    };
    for (const Case& item : cases) {
        const LongFundPagePlan plan = planLongFundPages(item.count);
        std::vector<std::size_t> rows;
        for (const HoldingsPage& page : plan.holdingsPages) {
            rows.push_back(page.rowCount);
        }
        EXPECT_EQ(rows, item.rows) << item.count;
        EXPECT_EQ(plan.pageCount(), static_cast<int>(item.rows.size()) + 1) << item.count;
    }
}

TEST(ClosingPageLayoutTest, PerformanceRowsAndTheClosingBlockStayApart) {
    const ClosingPageLayout layout = layoutClosingPage();
    EXPECT_DOUBLE_EQ(layout.allocationHeadingBottom, 742);
    EXPECT_DOUBLE_EQ(layout.firstAllocationRowBottom, 717);
    EXPECT_DOUBLE_EQ(layout.performanceHeadingBottom, 607);
    EXPECT_DOUBLE_EQ(layout.performanceBase, 597);
    // A row's items hang 25 below its base; the next row's begin at its base.
    const double firstRowBottom = layout.performanceBase - long_layout::kPerformanceItemHeight;
    const double secondRowTop = layout.performanceBase - long_layout::kPerformanceRowPitch;
    const double secondRowBottom = secondRowTop - long_layout::kPerformanceItemHeight;
    EXPECT_LE(secondRowTop, firstRowBottom);
    EXPECT_LE(layout.riskHeadingBottom + 20, secondRowBottom);
    EXPECT_LE(layout.firstRiskRowBottom + 15, layout.riskHeadingBottom);
    EXPECT_LT(layout.closingRule, layout.analysisEnd);
    EXPECT_LT(layout.contactBlock.y + layout.contactBlock.height, layout.closingRule);
    EXPECT_LT(layout.disclosure.y + layout.disclosure.height, layout.contactBlock.y);
    EXPECT_GE(layout.disclosure.y, long_layout::kFooterTop + 50);
}

class LongFundStatementTest : public ::testing::Test {
protected:
    testing::WriterFixture world;
};

TEST_F(LongFundStatementTest, FiguresAgreeAndHoldingsComeLargestFirst) {
    const std::size_t counts[] = {1, 25, 50, 51, 100};
    for (const std::size_t count : counts) {
        SCOPED_TRACE(std::string("holdings ").append(std::to_string(count)));
        const LongFundStatement statement = buildLongFundStatement(world.context(), count);
        ASSERT_EQ(statement.holdings.size(), count);
        double values = 0;
        double percents = 0;
        std::set<std::string> symbols;
        for (std::size_t index = 0; index < count; ++index) {
            const LongHolding& holding = statement.holdings[index];
            values += holding.marketValue;
            percents += holding.portfolioPercent;
            symbols.insert(holding.symbol);
            EXPECT_DOUBLE_EQ(holding.marketValue, holding.shares * holding.price);
            if (index > 0) {
                EXPECT_GE(statement.holdings[index - 1].marketValue, holding.marketValue);
            }
        }
        EXPECT_EQ(symbols.size(), count);
        EXPECT_EQ(symbols.count("AAPL2"), count > 50 ? 1u : 0u);
        EXPECT_EQ(symbols.count("GS"), count >= 50 ? 1u : 0u);
        EXPECT_NEAR(values, statement.currentValue, 1e-6 * statement.currentValue);
        EXPECT_NEAR(percents, 100, 1e-9);
        EXPECT_NEAR(statement.currentValue - statement.previousValue, statement.netChange, 1e-6);
        EXPECT_NEAR(statement.netChangePercent, statement.netChange / statement.previousValue * 100, 1e-9);
        EXPECT_GE(statement.previousValue / statement.currentValue, 0.8 - 1e-12);
        EXPECT_LE(statement.previousValue / statement.currentValue, 1.2 + 1e-12);
        std::array<double, kCategories.size()> byCategory{};
        for (const LongHolding& holding : statement.holdings) {
            byCategory.at(holding.category) += holding.portfolioPercent;
        }
        for (std::size_t index = 0; index < kCategories.size(); ++index) {
            EXPECT_NEAR(statement.categories[index], byCategory[index], 1e-9) << kCategories[index];
        }
        for (std::size_t index = 0; index < kPeriods.size(); ++index) {
            EXPECT_GE(statement.periods[index], kPeriods[index].lower);
            EXPECT_LE(statement.periods[index], kPeriods[index].upper);
        }
        EXPECT_EQ(statement.startDate, "Sep 8, 2026");
        EXPECT_EQ(statement.endDate, "December 8, 2026");
    }
    std::set<std::size_t> counts2;
    for (int run = 0; run < 40; ++run) {
        const std::size_t drawn = buildLongFundStatement(world.context()).holdings.size();
        EXPECT_GE(drawn, kMinimumLongHoldings);
        EXPECT_LE(drawn, kMaximumLongHoldings);
        counts2.insert(drawn);
    }
    EXPECT_GT(counts2.size(), 10u);
    EXPECT_THROW(buildLongFundStatement(world.context(), 0), std::invalid_argument);
}

// The words of a long statement: every page's footer counts the pages the
// file has, every other word sits above the footer band, nothing collides,
// and the figures add up.
void expectSoundLongStatementPdf(const fs::path& pdf, const LongFundStatement& statement) {
    const int pages = planLongFundPages(statement.holdings.size()).pageCount();
    expectValidPdf(pdf, pages);
    const std::vector<Word> words = graphics_test::wordsOf(pdf);
    const double footerBandTop = kPageHeight - long_layout::kFooterTop;
    const std::regex footer(R"(Portfolio Statement - Page (\d+) of (\d+) - )");
    for (int page = 0; page < pages; ++page) {
        const std::string text = graphics_test::pageText(pdf, page + 1);
        std::smatch match;
        ASSERT_TRUE(std::regex_search(text, match, footer)) << "page " << page + 1;
        EXPECT_EQ(std::stoi(match[1]), page + 1);
        EXPECT_EQ(std::stoi(match[2]), pageCountOf(pdf));
    }
    for (const Word& word : words) {
        if (isWatermark(word)) {
            continue;
        }
        EXPECT_GE(word.xMin, 50 - 1) << word.text;
        EXPECT_LE(word.xMax, kPageWidth - 50 + 1) << word.text;
        EXPECT_GE(word.yMin, 50 - 1) << word.text;
        const bool inFooter = word.yMin >= footerBandTop - 1;
        if (!inFooter) {
            EXPECT_LE(word.yMax, footerBandTop) << word.text << " on page " << word.page;
        }
        EXPECT_LE(word.yMax, kPageHeight - long_layout::kFooterBottom + 1) << word.text;
    }
    expectNoCollidingWords(words);

    const double holdingsTop = yOf(words, "DETAILED", 0);
    std::vector<std::string> summary;
    std::string change;
    std::vector<std::string> marketValues;
    std::vector<std::string> percents;
    std::vector<std::string> categories;
    const int closing = pages - 1;
    const double performanceTop = yOf(words, "PERFORMANCE", closing);
    for (const Word& word : words) {
        const bool tableArea = word.page < closing && (word.page > 0 || word.yMin > holdingsTop);
        if (word.page == 0 && word.yMax < holdingsTop) {
            if (startsWith(word.text, "$")) {
                summary.push_back(word.text);
            } else if (startsWith(word.text, "+$") || startsWith(word.text, "-$")) {
                change = word.text;
            }
        } else if (tableArea && word.xMin >= 312 && word.xMax <= 372 && startsWith(word.text, "$")) {
            marketValues.push_back(word.text);
        } else if (tableArea && word.xMin >= 371 && word.xMax <= 412 && word.text != "%" && endsWith(word.text, "%")) {
            percents.push_back(word.text);
        } else if (word.page == closing && word.yMax < performanceTop && endsWith(word.text, "%")) {
            categories.push_back(word.text);
        }
    }
    ASSERT_EQ(summary.size(), 2u);
    ASSERT_FALSE(change.empty());
    ASSERT_EQ(marketValues.size(), statement.holdings.size());
    ASSERT_EQ(percents.size(), statement.holdings.size());
    ASSERT_EQ(categories.size(), kCategories.size());
    const double current = figureOf(summary[0]);
    const double previous = figureOf(summary[1]);
    EXPECT_NEAR(current - previous, figureOf(change),
                roundingOf(summary[0]) + roundingOf(summary[1]) + roundingOf(change) + 1e-9);
    double sum = 0;
    double rounding = roundingOf(summary[0]);
    for (const std::string& value : marketValues) {
        sum += figureOf(value);
        rounding += roundingOf(value);
    }
    EXPECT_NEAR(sum, current, rounding + 1e-6);
    double percentSum = 0;
    for (const std::string& percent : percents) {
        percentSum += figureOf(percent);
    }
    EXPECT_NEAR(percentSum, 100, 0.05 * static_cast<double>(percents.size()) + 1e-9);
    double categorySum = 0;
    for (const std::string& category : categories) {
        categorySum += figureOf(category);
    }
    EXPECT_NEAR(categorySum, 100, 0.05 * static_cast<double>(categories.size()) + 1e-9);
}

TEST_F(LongFundStatementTest, EdgeCountsGiveSoundPages) {
    const std::size_t counts[] = {25, 35, 36, 50, 51, 65, 66, 95, 100};
    for (const std::size_t count : counts) {
        SCOPED_TRACE(std::string("holdings ").append(std::to_string(count)));
        const LongFundStatement statement = buildLongFundStatement(world.context(), count);
        const std::vector<std::byte> pdf = renderLongFundStatement(statement, world.context());
        const fs::path path = world.root.path() / std::string("long_").append(std::to_string(count)).append(".pdf");
        platform::testing::writeFile(path, std::string(reinterpret_cast<const char*>(pdf.data()), pdf.size()));
        expectSoundLongStatementPdf(path, statement);
        const std::string first = graphics_test::pageText(path, 1);
        EXPECT_NE(first.find("Statement Period: Sep 8, 2026 - December 8, 2026"), std::string::npos);
        EXPECT_NE(first.find(statement.advisorEmail), std::string::npos);
    }
}

// ---- Allocation read back from the page

// The words of a page in rows: words whose tops lie within two points of each
// other, left to right.
std::vector<std::vector<Word>> rowsOf(const std::vector<Word>& words, int page) {
    std::vector<Word> onPage;
    std::copy_if(words.begin(), words.end(), std::back_inserter(onPage),
                 [&](const Word& word) { return word.page == page && !isWatermark(word); });
    std::sort(onPage.begin(), onPage.end(), [](const Word& a, const Word& b) { return a.yMin < b.yMin; });
    std::vector<std::vector<Word>> rows;
    for (const Word& word : onPage) {
        if (rows.empty() || word.yMin - rows.back().front().yMin > 2) {
            rows.emplace_back();
        }
        rows.back().push_back(word);
    }
    for (auto& row : rows) {
        std::sort(row.begin(), row.end(), [](const Word& a, const Word& b) { return a.xMin < b.xMin; });
    }
    return rows;
}

// "Large Cap Growth 61.2% Emerging Markets 0.0%" -> the labels and their
// percentages as shown.
std::vector<std::pair<std::string, std::string>> labelledPercents(const std::vector<Word>& row) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string label;
    for (const Word& word : row) {
        if (word.text.size() > 1 && endsWith(word.text, "%")) {
            pairs.emplace_back(label, word.text);
            label.clear();
        } else {
            label += (label.empty() ? "" : " ") + word.text;
        }
    }
    return pairs;
}

// The security a shown symbol stands for; a repeated holding carries a
// digit after its table symbol.
const Security* securityOf(std::string symbol) {
    while (!symbol.empty() && std::isdigit(static_cast<unsigned char>(symbol.back()))) {
        symbol.pop_back();
    }
    const auto found = std::find_if(kSecurities.begin(), kSecurities.end(),
                                    [&](const Security& security) { return security.symbol == symbol; });
    return found == kSecurities.end() ? nullptr : &*found;
}

// Each class's percentage shown equals the shown percentages of the holdings
// in that class added up (within their rounding), and together they make 100.
template <std::size_t classCount>
void expectAllocationFromHoldings(const std::array<std::string_view, classCount>& labels,
                                  const std::vector<std::pair<std::size_t, std::string>>& holdings,
                                  const std::vector<std::pair<std::string, std::string>>& shown) {
    ASSERT_EQ(shown.size(), classCount);
    std::array<double, classCount> sums{};
    std::array<double, classCount> slack{};
    for (const auto& [index, percent] : holdings) {
        sums.at(index) += figureOf(percent);
        slack.at(index) += roundingOf(percent);
    }
    double total = 0;
    for (const auto& [label, percent] : shown) {
        const auto at = std::find(labels.begin(), labels.end(), label);
        ASSERT_NE(at, labels.end()) << label;
        const auto index = static_cast<std::size_t>(at - labels.begin());
        EXPECT_NEAR(figureOf(percent), sums[index], slack[index] + roundingOf(percent) + 1e-9) << label;
        total += figureOf(percent);
    }
    EXPECT_NEAR(total, 100, 0.05 * static_cast<double>(classCount) + 1e-9);
}

class AllocationTest : public ::testing::Test {
protected:
    testing::WriterFixture world;

    fs::path generate(DocumentGenerator generator, std::uint64_t seed) {
        platform::SeededRandom random(seed);
        const GenerationContext context(world.clock, random, *world.defaults, *world.bundle);
        return generator(world.outputFolder / ("statement_" + std::to_string(seed) + ".pdf"), ContentSize::small,
                         context);
    }
};

TEST_F(AllocationTest, TheOnePageAllocationAddsUpTheHoldingsShown) {
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const std::vector<Word> words = graphics_test::wordsOf(generate(&FundPortfolioPDFGenerator::generate, seed));
        const double holdingsTop = yOf(words, "HOLDINGS", 0);
        const double allocationTop = yOf(words, "ALLOCATION", 0);
        std::vector<std::pair<std::size_t, std::string>> holdings;
        std::vector<std::pair<std::string, std::string>> shown;
        for (const std::vector<Word>& row : rowsOf(words, 0)) {
            const double top = row.front().yMin;
            if (top > holdingsTop && top < allocationTop) {
                const Security* security = securityOf(row.front().text);
                if (security != nullptr) {
                    ASSERT_TRUE(endsWith(row.back().text, "%")) << row.back().text;
                    holdings.emplace_back(assetClassOf(*security), row.back().text);
                }
            } else if (top > allocationTop) {
                for (auto& pair : labelledPercents(row)) {
                    shown.push_back(std::move(pair));
                }
            }
        }
        ASSERT_GE(holdings.size(), kMinimumHoldings);
        expectAllocationFromHoldings(kAssetClasses, holdings, shown);
    }
}

TEST_F(AllocationTest, TheLongAnalysisAddsUpTheHoldingsShown) {
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const fs::path pdf = generate(&LongFundPortfolioPDFGenerator::generate, seed);
        const std::vector<Word> words = graphics_test::wordsOf(pdf);
        const int closing = pageCountOf(pdf) - 1;
        const double detailedTop = yOf(words, "DETAILED", 0);
        const double performanceTop = yOf(words, "PERFORMANCE", closing);
        std::vector<std::pair<std::size_t, std::string>> holdings;
        std::vector<std::pair<std::string, std::string>> shown;
        for (int page = 0; page <= closing; ++page) {
            for (const std::vector<Word>& row : rowsOf(words, page)) {
                const double top = row.front().yMin;
                if (page == closing) {
                    if (top > yOf(words, "ALLOCATION", closing) && top < performanceTop) {
                        for (auto& pair : labelledPercents(row)) {
                            shown.push_back(std::move(pair));
                        }
                    }
                    continue;
                }
                const Security* security = securityOf(row.front().text);
                if (security == nullptr || (page == 0 && top < detailedTop)) {
                    continue;
                }
                const auto percent = std::find_if(row.begin(), row.end(), [](const Word& word) {
                    return word.xMin >= 371 && word.xMax <= 412 && endsWith(word.text, "%");
                });
                ASSERT_NE(percent, row.end()) << row.front().text;
                holdings.emplace_back(categoryOf(*security), percent->text);
            }
        }
        ASSERT_GE(holdings.size(), kMinimumLongHoldings);
        expectAllocationFromHoldings(kCategories, holdings, shown);
    }
}

// ---- Entry points

TEST_F(LongFundStatementTest, BySizeWritesEitherFormAndIgnoresTheSize) {
    for (const ContentSize size : {ContentSize::small, ContentSize::large}) {
        std::vector<std::uintmax_t> lengths;
        for (const double megabytes : {1.0, 50.0}) {
            testing::WriterFixture fresh;
            const fs::path path = generatePDFBySize(megabytes == 1 ? "1" : "50", ContentType::fund_portfolio, size,
                                                    megabytes, fresh.context());
            EXPECT_EQ(path.filename(),
                      std::string("fund_portfolio_") + std::string(rawValue(size)) + "_20261208065016.pdf");
            lengths.push_back(fs::file_size(path));
            EXPECT_EQ(graphics_test::run(std::string("qpdf --check ").append(graphics_test::quoted(path))).exitCode, 0);
        }
        EXPECT_EQ(lengths[0], lengths[1]);
    }
}

TEST_F(LongFundStatementTest, FailuresAreThrownAndLeaveNothing) {
    for (const DocumentGenerator generator :
         {&FundPortfolioPDFGenerator::generate, &LongFundPortfolioPDFGenerator::generate}) {
        EXPECT_THROW(generator(world.outputFolder / "missing" / "statement.pdf", ContentSize::small, world.context()),
                     platform::Error);
        platform::CancellationToken cancel;
        cancel.cancel();
        EXPECT_THROW(generator(world.outputFolder / "cancelled.pdf", ContentSize::large, world.context(&cancel)),
                     platform::Error);
    }
    EXPECT_EQ(world.outputCount(), 0u);
}

}  // namespace
}  // namespace stubforge::fund_portfolio
