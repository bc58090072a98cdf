#include "PitchDeck.h"

#include "ContentPicks.h"
#include "DocumentText.h"

#include "platform/Format.h"

#include <algorithm>
#include <string_view>

namespace stubforge::pitch_deck {

using content::pickOne;
using content::pickSome;
using content::randomNumberText;

namespace {

constexpr std::array<std::string_view, 5> kTitleSuffixes{"Tech", "AI", "Solutions", "Labs", "Innovations"};

constexpr std::array<std::string_view, 7> kSolutionTexts{
    "All-in-one platform with intuitive interface",   "AI-powered automation reduces manual work by 80%",
    "Seamless integration with existing tools",       "Real-time analytics and insights dashboard",
    "Mobile-first design for on-the-go access",       "Enterprise-grade security with SOC 2 compliance",
    "24/7 customer support and onboarding assistance"};

constexpr std::array<std::string_view, 8> kFeatureTexts{
    "Automated workflow management", "Real-time collaboration tools", "Advanced analytics dashboard",
    "Custom reporting engine",       "API integration hub",           "Mobile applications (iOS/Android)",
    "Machine learning predictions",  "Multi-language support"};

constexpr std::array<std::string_view, 4> kUseOfFunds{
    "Product Development (40%) - Scale engineering team", "Sales & Marketing (35%) - Expand go-to-market",
    "Operations (15%) - Infrastructure and support", "R&D (10%) - AI and ML capabilities"};

constexpr std::array<std::string_view, 4> kDemoPoints{
    "Setup takes less than 5 minutes", "Drag-and-drop interface requires no training",
    "Pre-built templates for common use cases", "Real-time sync across all devices"};

constexpr std::array<std::string_view, 4> kWhyNowPoints{
    "Market timing is ideal with recent regulatory changes", "Strong network effects drive customer acquisition",
    "Proven team with successful exits", "Clear path to profitability in 18 months"};

constexpr std::array<std::string_view, 4> kFormerEmployers{"Oracle", "Amazon", "Microsoft", "Apple"};
constexpr std::array<std::string_view, 4> kProductCompanies{"Uber", "Airbnb", "Stripe", "Square"};
constexpr std::array<std::string_view, 3> kRounds{"A", "B", "Seed"};
constexpr std::array<std::string_view, 5> kFeatures{"Feature A", "Feature B", "Feature C", "Feature D", "Feature E"};

struct PhaseText {
    std::string_view quarter;
    std::string_view goal;
};
constexpr std::array<PhaseText, 5> kRoadmap{{{"Q1 2024", "Launch v2.0 with AI features"},
                                             {"Q2 2024", "Expand to European market"},
                                             {"Q3 2024", "Release mobile apps"},
                                             {"Q4 2024", "SOC 2 certification"},
                                             {"Q1 2025", "Series B funding"}}};

constexpr std::string_view kUp = "\u2191 ";
constexpr std::string_view kDown = "\u2193 ";

// A competitor lacks a feature when this bit of its cell's word is set.
constexpr std::uint64_t kCrossBit = std::uint64_t{1} << 17;

Slide titleSlide(DeckSources sources) {
    Slide slide;
    slide.type = SlideType::title;
    slide.title = sources.faker.company().name() + " " + pickOne(kTitleSuffixes, sources.random);
    slide.subtitle = sources.faker.company().catchPhrase();
    return slide;
}

Slide slide(SlideType type, std::string_view title, std::optional<std::vector<std::string>> points = std::nullopt) {
    return Slide{type, std::string(title), std::nullopt, std::move(points)};
}

}  // namespace

std::vector<std::string> problemPoints(DeckSources sources) {
    std::vector<std::string> texts{"Current solutions are fragmented and difficult to integrate",
                                   "Market lacks a comprehensive platform for " +
                                       lowercase(sources.faker.commerce().department(3, false)) + " management",
                                   "Existing tools require extensive technical expertise",
                                   "Small businesses struggle with high costs and complexity",
                                   "Data silos prevent effective decision making",
                                   "Manual processes lead to errors and inefficiencies",
                                   "Customer experience is inconsistent across channels"};
    return pickSome(std::move(texts), 3, sources.random);
}

std::vector<std::string> solutionPoints(DeckSources sources) { return pickSome(kSolutionTexts, 4, sources.random); }

std::vector<std::string> productFeaturePoints(DeckSources sources) {
    return pickSome(kFeatureTexts, 6, sources.random);
}

std::vector<std::string> tractionPoints(DeckSources sources) {
    platform::RandomSource& random = sources.random;
    return {"Launched beta with " + randomNumberText(random, 100, 500) + " early adopters",
            "Month-over-month growth of " + randomNumberText(random, 20, 50) + "%",
            "NPS score of " + randomNumberText(random, 70, 90),
            randomNumberText(random, 3, 10) + " enterprise pilots in progress"};
}

std::vector<Slide> smallDeckSlides(DeckSources sources) {
    std::vector<Slide> slides;
    slides.push_back(titleSlide(sources));
    slides.push_back(slide(SlideType::problem, "The Problem", problemPoints(sources)));
    slides.push_back(slide(SlideType::solution, "Our Solution", solutionPoints(sources)));
    slides.push_back(slide(SlideType::market, "Market Opportunity"));
    slides.push_back(slide(SlideType::product, "Product Features", productFeaturePoints(sources)));
    slides.push_back(slide(SlideType::traction, "Traction", tractionPoints(sources)));
    slides.push_back(slide(SlideType::team, "Our Team"));
    slides.push_back(slide(SlideType::ask, "Investment Ask", listOf(kUseOfFunds)));
    slides.push_back(slide(SlideType::contact, "Contact"));
    return slides;
}

std::vector<Slide> largeDeckSlides(DeckSources sources) {
    std::vector<Slide> slides;
    slides.push_back(titleSlide(sources));
    slides.push_back(slide(SlideType::problem, "The Problem", problemPoints(sources)));
    slides.push_back(slide(SlideType::solution, "Our Solution", solutionPoints(sources)));
    slides.push_back(slide(SlideType::market, "Market Opportunity"));
    slides.push_back(slide(SlideType::product, "Product Overview", productFeaturePoints(sources)));
    slides.push_back(slide(SlideType::product, "Product Demo", listOf(kDemoPoints)));
    slides.push_back(slide(SlideType::businessModel, "Business Model"));
    slides.push_back(slide(SlideType::competition, "Competitive Analysis"));
    slides.push_back(slide(SlideType::traction, "Traction & Validation", tractionPoints(sources)));
    slides.push_back(slide(SlideType::metrics, "Key Metrics"));
    slides.push_back(slide(SlideType::testimonials, "Customer Testimonials"));
    slides.push_back(slide(SlideType::team, "Leadership Team"));
    slides.push_back(slide(SlideType::roadmap, "Product Roadmap"));
    slides.push_back(slide(SlideType::financials, "Financial Projections"));
    slides.push_back(slide(SlideType::ask, "Investment Ask", listOf(kUseOfFunds)));
    slides.push_back(slide(SlideType::ask, "Why Invest Now?", listOf(kWhyNowPoints)));
    slides.push_back(slide(SlideType::contact, "Thank You"));
    return slides;
}

std::vector<MarketSize> marketSizes(DeckSources sources) {
    platform::RandomSource& random = sources.random;
    return {{"TAM", "$" + randomNumberText(random, 50, 200) + "B", "Total Addressable Market"},
            {"SAM", "$" + randomNumberText(random, 10, 50) + "B", "Serviceable Addressable Market"},
            {"SOM", "$" + randomNumberText(random, 1, 10) + "B", "Serviceable Obtainable Market"}};
}

std::vector<RevenueStream> revenueStreams(DeckSources sources) {
    platform::RandomSource& random = sources.random;
    return {
        {"SaaS Subscriptions", "Monthly recurring revenue from platform access",
         "$" + randomNumberText(random, 29, 199) + "/month"},
        {"Enterprise Licenses", "Annual contracts with custom features",
         "$" + randomNumberText(random, 10, 50) + "K/year"},
        {"Professional Services", "Implementation and consulting", "$" + randomNumberText(random, 500, 2000) + "/day"}};
}

std::vector<TractionMetric> tractionMetrics(DeckSources sources) {
    platform::RandomSource& random = sources.random;
    std::vector<TractionMetric> metrics;
    metrics.push_back({randomNumberText(random, 10, 50) + "K", "Active Users",
                       std::string(kUp) + randomNumberText(random, 20, 80) + "% MoM"});
    metrics.push_back({"$" + randomNumberText(random, 100, 900) + "K", "ARR",
                       std::string(kUp) + randomNumberText(random, 30, 150) + "% YoY"});
    metrics.push_back({randomNumberText(random, 50, 200), "Enterprise Clients",
                       std::string(kUp) + randomNumberText(random, 10, 50) + "% QoQ"});
    metrics.push_back({randomNumberText(random, 85, 98) + "%", "Retention Rate",
                       std::string(kUp) + randomNumberText(random, 5, 15) + "% YoY"});
    return metrics;
}

std::vector<TeamMember> teamMembers(DeckSources sources) {
    sham::Faker& faker = sources.faker;
    platform::RandomSource& random = sources.random;
    std::vector<TeamMember> team;
    team.push_back(
        {faker.name().name(), "CEO & Founder",
         "Ex-" + pickOne(kFormerEmployers, random) + ", " + randomNumberText(random, 10, 20) + "y experience"});
    team.push_back({faker.name().name(), "CTO", "PhD CS, Led engineering at " + faker.company().name()});
    team.push_back({faker.name().name(), "VP Sales",
                    "Scaled sales from $0-$" + randomNumberText(random, 10, 50) + "M at " + faker.company().name()});
    team.push_back({faker.name().name(), "VP Product", "Product leader at " + pickOne(kProductCompanies, random)});
    return team;
}

std::vector<FinancialRow> financialRows(DeckSources sources) {
    const double r = randomDoubleInClosedRange(sources.random, 0.5, 2.0);
    return {{"Revenue ($M)",
             {fixedDecimals(r, 1), fixedDecimals(3 * r, 1), fixedDecimals(8 * r, 1), fixedDecimals(20 * r, 1),
              fixedDecimals(45 * r, 1)}},
            {"Gross Margin", {"45%", "55%", "65%", "70%", "75%"}},
            {"EBITDA", {"-$2M", "-$1M", "$0.5M", "$5M", "$15M"}},
            {"Customers", {"100", "500", "2K", "8K", "25K"}}};
}

std::vector<std::string> competitorColumns(DeckSources sources) {
    return {"Us", sources.faker.company().name(), sources.faker.company().name(), sources.faker.company().name()};
}

CompetitionTable competitionTable(DeckSources sources) {
    CompetitionTable table;
    table.columns = competitorColumns(sources);
    table.features = listOf(kFeatures);
    for (std::size_t feature = 0; feature < table.features.size(); ++feature) {
        std::vector<bool> row{true};
        for (std::size_t column = 1; column < table.columns.size(); ++column) {
            row.push_back((sources.random.next() & kCrossBit) == 0);
        }
        table.marks.push_back(std::move(row));
    }
    return table;
}

std::vector<RoadmapPhase> roadmapPhases() {
    std::vector<RoadmapPhase> phases;
    for (const PhaseText& phase : kRoadmap) {
        phases.push_back({std::string(phase.quarter), std::string(phase.goal)});
    }
    return phases;
}

std::vector<Testimonial> testimonialQuotes(DeckSources sources) {
    sham::Faker& faker = sources.faker;
    std::vector<Testimonial> quotes;
    const std::string department = lowercase(faker.commerce().department(3, false));
    quotes.push_back({"This platform transformed how we manage our " + department + " operations. We've seen a " +
                          randomNumberText(sources.random, 30, 70) + "% increase in efficiency.",
                      faker.name().name(), "CEO, " + faker.company().name()});
    quotes.push_back({"The easiest implementation we've ever done. Our team was up and running in hours, not weeks.",
                      faker.name().name(), "CTO, " + faker.company().name()});
    return quotes;
}

std::vector<KeyMetric> keyMetrics(DeckSources sources) {
    platform::RandomSource& random = sources.random;
    const std::string up(kUp);
    const std::string down(kDown);
    std::vector<KeyMetric> metrics;
    metrics.push_back(
        {randomNumberText(random, 85, 98) + "%", "Customer Satisfaction", up + randomNumberText(random, 5, 15) + "%"});
    metrics.push_back({"<" + randomNumberText(random, 5, 30) + "s", "Avg Response Time",
                       down + randomNumberText(random, 20, 50) + "%"});
    metrics.push_back(
        {randomNumberText(random, 70, 95) + "%", "Feature Adoption", up + randomNumberText(random, 10, 30) + "%"});
    metrics.push_back({"$" + randomNumberText(random, 50, 200) + "K", "Avg Contract Value",
                       up + randomNumberText(random, 15, 40) + "%"});
    metrics.push_back(
        {randomNumberText(random, 3, 12) + "mo", "Payback Period", down + randomNumberText(random, 10, 30) + "%"});
    metrics.push_back({randomNumberText(random, 100, 300) + "%", "Net Revenue Retention",
                       up + randomNumberText(random, 5, 20) + "%"});
    return metrics;
}

AskFigures askFigures(DeckSources sources) {
    AskFigures figures;
    figures.amount = "$" + randomNumberText(sources.random, 1, 10) + "M";
    figures.round = "Series " + pickOne(kRounds, sources.random) + " Round";
    return figures;
}

std::string contactBlock(DeckSources sources) {
    return sources.faker.internet().email() + "\n" + sources.faker.phoneNumber().phoneNumber() + "\nwww." +
           sources.faker.internet().domainWord(true) + ".com";
}

std::vector<SlidePage> buildDeck(ContentSize size, DeckSources sources, platform::TimePoint now) {
    std::vector<SlidePage> deck;
    for (Slide& slide : size == ContentSize::small ? smallDeckSlides(sources) : largeDeckSlides(sources)) {
        SlidePage page;
        page.slide = std::move(slide);
        switch (page.slide.type) {
        case SlideType::title:
            page.date = platform::format::pattern(now, "MMMM yyyy");
            break;
        case SlideType::market:
            page.market = marketSizes(sources);
            break;
        case SlideType::businessModel:
            page.revenueStreams = revenueStreams(sources);
            break;
        case SlideType::traction:
            page.traction = tractionMetrics(sources);
            break;
        case SlideType::team:
            page.team = teamMembers(sources);
            break;
        case SlideType::financials:
            page.financials = financialRows(sources);
            break;
        case SlideType::ask:
            page.ask = askFigures(sources);
            break;
        case SlideType::contact:
            page.contact = contactBlock(sources);
            break;
        case SlideType::competition:
            page.competition = competitionTable(sources);
            break;
        case SlideType::roadmap:
            page.roadmap = roadmapPhases();
            break;
        case SlideType::testimonials:
            page.testimonials = testimonialQuotes(sources);
            break;
        case SlideType::metrics:
            page.metrics = keyMetrics(sources);
            break;
        case SlideType::problem:
        case SlideType::solution:
        case SlideType::product:
            break;
        }
        deck.push_back(std::move(page));
    }
    return deck;
}

}  // namespace stubforge::pitch_deck
