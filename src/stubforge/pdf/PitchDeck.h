#pragma once

#include "stubforge/pdf/DocumentSupport.h"

#include "sham/Faker.h"

#include "platform/Clock.h"
#include "platform/Random.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

// The pitch deck: one landscape page per slide of an invented start-up's
// investor presentation. Its content, every draw included, is built first;
// the drawing only lays it out.
namespace stubforge::pitch_deck {

enum class SlideType {
    title,
    problem,
    solution,
    market,
    product,
    businessModel,
    traction,
    team,
    financials,
    ask,
    contact,
    competition,
    roadmap,
    testimonials,
    metrics,
};

struct Slide {
    SlideType type = SlideType::title;
    std::string title;
    std::optional<std::string> subtitle;
    std::optional<std::vector<std::string>> points;
};

struct RevenueStream {
    std::string name;
    std::string description;
    std::string price;
};

struct TractionMetric {
    std::string value;
    std::string label;
    std::string growth;
};

struct TeamMember {
    std::string name;
    std::string role;
    std::string background;
};

struct FinancialRow {
    std::string label;
    std::array<std::string, 5> values;
};

struct Testimonial {
    std::string quote;
    std::string name;
    std::string role;
};

struct KeyMetric {
    std::string value;
    std::string label;
    std::string change;
};

struct MarketSize {
    std::string label;
    std::string value;
    std::string description;
};

struct RoadmapPhase {
    std::string quarter;
    std::string goal;
};

// The competitors' table: "Us" and three companies as columns, one row per
// feature; a cell is true for a check mark, false for a cross.
struct CompetitionTable {
    std::vector<std::string> columns;
    std::vector<std::string> features;
    std::vector<std::vector<bool>> marks;  // [feature][column]
};

struct AskFigures {
    std::string amount;
    std::string round;
};

// What one page shows beyond its slide: only the part its layout uses is filled.
struct SlidePage {
    Slide slide;
    std::string date;  // title slide
    std::vector<MarketSize> market;
    std::vector<RevenueStream> revenueStreams;
    std::vector<TractionMetric> traction;
    std::vector<TeamMember> team;
    std::vector<FinancialRow> financials;
    CompetitionTable competition;
    std::vector<RoadmapPhase> roadmap;
    std::vector<Testimonial> testimonials;
    std::vector<KeyMetric> metrics;
    AskFigures ask;
    std::string contact;  // three lines
};

// The fixed column heads of the financials table.
inline constexpr std::array<std::string_view, 5> kFinancialYears{"2024", "2025", "2026", "2027", "2028"};
inline constexpr std::string_view kFinancialLabelHead = "Metrics";

// The fake data engine and random source one deck draws from.
struct DeckSources {
    sham::Faker& faker;
    platform::RandomSource& random;
};

std::vector<Slide> smallDeckSlides(DeckSources sources);
std::vector<Slide> largeDeckSlides(DeckSources sources);
std::vector<std::string> problemPoints(DeckSources sources);
std::vector<std::string> solutionPoints(DeckSources sources);
std::vector<std::string> productFeaturePoints(DeckSources sources);
std::vector<std::string> tractionPoints(DeckSources sources);
std::vector<RevenueStream> revenueStreams(DeckSources sources);
std::vector<TractionMetric> tractionMetrics(DeckSources sources);
std::vector<TeamMember> teamMembers(DeckSources sources);
std::vector<FinancialRow> financialRows(DeckSources sources);
std::vector<std::string> competitorColumns(DeckSources sources);
std::vector<Testimonial> testimonialQuotes(DeckSources sources);
std::vector<KeyMetric> keyMetrics(DeckSources sources);
std::vector<MarketSize> marketSizes(DeckSources sources);
CompetitionTable competitionTable(DeckSources sources);
std::vector<RoadmapPhase> roadmapPhases();
AskFigures askFigures(DeckSources sources);
std::string contactBlock(DeckSources sources);

// The slide list of `size` with every page's content drawn; `now` dates the
// title slide.
std::vector<SlidePage> buildDeck(ContentSize size, DeckSources sources, platform::TimePoint now);

// One page per slide, each with the footer.
void drawDeck(DocumentPages& pages, const std::vector<SlidePage>& deck);

inline constexpr platform::graphics::Size kPageSize = platform::graphics::pageSizes::usLetterLandscape;
inline constexpr double kMargin = 60;

}  // namespace stubforge::pitch_deck
