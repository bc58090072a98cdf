#include "PitchDeck.h"

#include "CoreTestSupport.h"
#include "PdfTools.h"

#include "sham/Faker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>

namespace stubforge::pitch_deck {
namespace {

namespace graphics = platform::graphics;

struct Sources {
    explicit Sources(std::uint64_t seed) : random(seed), faker("en", testing::shippedLocales(), random, clock) {}
    platform::FixedClock clock{std::chrono::sys_days(std::chrono::year(2026) / 3 / 4)};
    platform::SeededRandom random;
    sham::Faker faker;
    DeckSources deck() { return {faker, random}; }
};

std::vector<std::pair<SlideType, std::string>> outline(const std::vector<SlidePage>& deck) {
    std::vector<std::pair<SlideType, std::string>> result;
    for (const SlidePage& page : deck) {
        result.emplace_back(page.slide.type, page.slide.type == SlideType::title ? "" : page.slide.title);
    }
    return result;
}

TEST(PitchDeckContentTest, TheDecksHaveTheirSlidesInOrder) {
    Sources sources(1);
    using enum SlideType;
    const std::vector<std::pair<SlideType, std::string>> small{{title, ""},
                                                               {problem, "The Problem"},
                                                               {solution, "Our Solution"},
                                                               {market, "Market Opportunity"},
                                                               {product, "Product Features"},
                                                               {traction, "Traction"},
                                                               {team, "Our Team"},
                                                               {ask, "Investment Ask"},
                                                               {contact, "Contact"}};
    EXPECT_EQ(outline(buildDeck(ContentSize::small, sources.deck(), sources.clock.now())), small);

    const std::vector<SlidePage> large = buildDeck(ContentSize::large, sources.deck(), sources.clock.now());
    const std::vector<std::pair<SlideType, std::string>> largeOutline{{title, ""},
                                                                      {problem, "The Problem"},
                                                                      {solution, "Our Solution"},
                                                                      {market, "Market Opportunity"},
                                                                      {product, "Product Overview"},
                                                                      {product, "Product Demo"},
                                                                      {businessModel, "Business Model"},
                                                                      {competition, "Competitive Analysis"},
                                                                      {traction, "Traction & Validation"},
                                                                      {metrics, "Key Metrics"},
                                                                      {testimonials, "Customer Testimonials"},
                                                                      {team, "Leadership Team"},
                                                                      {roadmap, "Product Roadmap"},
                                                                      {financials, "Financial Projections"},
                                                                      {ask, "Investment Ask"},
                                                                      {ask, "Why Invest Now?"},
                                                                      {contact, "Thank You"}};
    EXPECT_EQ(outline(large), largeOutline);
    for (std::size_t index = 0; index < large.size(); ++index) {
        EXPECT_EQ(large[index].slide.subtitle.has_value(), index == 0);
    }
    EXPECT_EQ(large.front().date, "March 2026");
    // "<company> <suffix>" over a catch phrase.
    EXPECT_TRUE(std::regex_match(large.front().slide.title, std::regex(".+ (Tech|AI|Solutions|Labs|Innovations)")))
        << large.front().slide.title;
    EXPECT_FALSE(large.front().slide.subtitle->empty());
    EXPECT_EQ(large[5].slide.points->front(), "Setup takes less than 5 minutes");
    EXPECT_EQ(large[15].slide.points->back(), "Clear path to profitability in 18 months");
    EXPECT_EQ(std::count(large.back().contact.begin(), large.back().contact.end(), '\n'), 2);
}

TEST(PitchDeckContentTest, PointListsPickDistinctStatements) {
    for (int seed = 0; seed < 50; ++seed) {
        Sources sources(seed);
        const struct {
            std::vector<std::string> points;
            std::size_t count;
        } lists[] = {{problemPoints(sources.deck()), 3},
                     {solutionPoints(sources.deck()), 4},
                     {productFeaturePoints(sources.deck()), 6}};
        for (const auto& list : lists) {
            EXPECT_EQ(list.points.size(), list.count);
            EXPECT_EQ(std::set<std::string>(list.points.begin(), list.points.end()).size(), list.count);
        }
    }
}

TEST(PitchDeckContentTest, RandomNumbersReachBothEndsOfTheirRanges) {
    // Each traction point's number, by the text around it.
    const std::regex patterns[] = {std::regex("Launched beta with (\\d+) early adopters"),
                                   std::regex("Month-over-month growth of (\\d+)%"), std::regex("NPS score of (\\d+)"),
                                   std::regex("(\\d+) enterprise pilots in progress")};
    const std::pair<int, int> ranges[] = {{100, 500}, {20, 50}, {70, 90}, {3, 10}};
    std::map<int, std::set<int>> seen;
    Sources sources(9);
    for (int draw = 0; draw < 3000; ++draw) {
        const std::vector<std::string> points = tractionPoints(sources.deck());
        ASSERT_EQ(points.size(), 4u);
        for (int index = 0; index < 4; ++index) {
            std::smatch match;
            ASSERT_TRUE(std::regex_match(points[index], match, patterns[index])) << points[index];
            const int value = std::stoi(match[1]);
            ASSERT_GE(value, ranges[index].first);
            ASSERT_LE(value, ranges[index].second);
            seen[index].insert(value);
        }
    }
    for (int index = 1; index < 4; ++index) {
        EXPECT_TRUE(seen[index].contains(ranges[index].first)) << index;
        EXPECT_TRUE(seen[index].contains(ranges[index].second)) << index;
    }
}

TEST(PitchDeckContentTest, RevenueGrowsByTheFixedFactorsAndUsNeverLacksAFeature) {
    for (int seed = 0; seed < 50; ++seed) {
        Sources sources(seed);
        const std::vector<FinancialRow> rows = financialRows(sources.deck());
        ASSERT_EQ(rows.size(), 4u);
        const double first = std::stod(rows[0].values[0]);
        EXPECT_GE(first, 0.5);
        EXPECT_LE(first, 2.0);
        const double factors[] = {1, 3, 8, 20, 45};
        for (int column = 0; column < 5; ++column) {
            // Each value is the same draw times its factor, then rounded: not the rounded first value times it.
            EXPECT_NEAR(std::stod(rows[0].values[column]), first * factors[column], 0.05 * factors[column] + 0.05);
            EXPECT_TRUE(std::regex_match(rows[0].values[column], std::regex("\\d+\\.\\d")));
        }

        const CompetitionTable table = competitionTable(sources.deck());
        ASSERT_EQ(table.columns.size(), 4u);
        EXPECT_EQ(table.columns.front(), "Us");
        ASSERT_EQ(table.marks.size(), 5u);
        for (const std::vector<bool>& row : table.marks) {
            ASSERT_EQ(row.size(), 4u);
            EXPECT_TRUE(row.front());
        }
    }
}

TEST(PitchDeckContentTest, TheTwoAskPagesDrawTheirFiguresApart) {
    bool differed = false;
    for (int seed = 0; seed < 20 && !differed; ++seed) {
        Sources sources(seed);
        const std::vector<SlidePage> deck = buildDeck(ContentSize::large, sources.deck(), sources.clock.now());
        differed = deck[14].ask.amount != deck[15].ask.amount || deck[14].ask.round != deck[15].ask.round;
    }
    EXPECT_TRUE(differed);
}

// Long fake values must neither leave the slide's margins nor run into
// one another.
TEST(PitchDeckDrawingTest, LongTextsStayBetweenTheMarginsAndApart) {
    testing::WriterFixture world;
    Sources sources(2);
    std::vector<SlidePage> deck = buildDeck(ContentSize::large, sources.deck(), sources.clock.now());
    const std::string longName = "Bartholomew-Featherstonehaugh, Vandermeulen and Oppenheimer-Whitcombe";
    deck[0].slide.title = longName + " Innovations";
    deck[0].slide.subtitle = "Cross-platform bi-directional hierarchical client-server knowledge user empowerment";
    // Short words fill the line to within a few points of the wrapping width.
    std::string bullet = "Market";
    for (int word = 0; word < 90; ++word) {
        bullet += " x";
    }
    deck[1].slide.points->front() = bullet + " segment";
    deck[5].slide.points->at(2) = "Drag-and-drop interface requires no training whatsoever at all";
    for (std::string& column : deck[7].competition.columns) {
        column = column == "Us" ? column : longName;
    }
    for (TeamMember& member : deck[11].team) {
        member.name = "Dr. Maximiliana Featherstonehaugh-Vandermeulen";
    }

    const auto pdf =
        renderPDFDocument(PageSetup{kPageSize}, world.context(), [&](DocumentPages& pages) { drawDeck(pages, deck); });
    graphics_test::TemporaryFolder folder;
    const std::vector<graphics_test::Word> words = graphics_test::wordsOf(folder.write("deck.pdf", pdf));
    ASSERT_FALSE(words.empty());
    for (const graphics_test::Word& word : words) {
        if (word.yMin >= kPageSize.height - 31) {
            continue;  // the footer, right of the margin by design
        }
        EXPECT_GE(word.xMin, kMargin - 0.5) << "page " << word.page << ": " << word.text;
        EXPECT_LE(word.xMax, kPageSize.width - kMargin + 0.5) << "page " << word.page << ": " << word.text;
    }
    for (std::size_t a = 0; a < words.size(); ++a) {
        for (std::size_t b = a + 1; b < words.size(); ++b) {
            const graphics_test::Word& first = words[a];
            const graphics_test::Word& second = words[b];
            if (first.page != second.page) {
                continue;
            }
            const double across = std::min(first.xMax, second.xMax) - std::max(first.xMin, second.xMin);
            const double down = std::min(first.yMax, second.yMax) - std::max(first.yMin, second.yMin);
            EXPECT_FALSE(across > 0.5 && down > 0.5)
                << "page " << first.page << ": " << first.text << " overlaps " << second.text;
        }
    }
    // The long bullet wrapped onto a second line rather than running on.
    const std::vector<graphics_test::Word> segment = graphics_test::find(words, "segment", 1);
    const std::vector<graphics_test::Word> market = graphics_test::find(words, "Market", 1);
    ASSERT_EQ(segment.size(), 1u);
    ASSERT_FALSE(market.empty());
    EXPECT_GT(segment.front().yMin, market.front().yMax - 0.5);
}

}  // namespace
}  // namespace stubforge::pitch_deck
