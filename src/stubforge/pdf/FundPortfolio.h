#pragma once

// The two investment portfolio statements: their data, built first from the
// context's random source, clock and fake-data engine, then drawn. Private to
// the PDF library; the tests build statements through it.

#include "stubforge/pdf/DocumentSupport.h"

#include "platform/graphics/Canvas.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace stubforge::fund_portfolio {

// ---- Shared ----------------------------------------------------------------

// Every security held is the common stock of a large US company; they
// differ in kind: growth companies, priced for their expected growth, and
// value companies, priced low against their earnings and assets.
enum class StockKind { growth, value };

struct Security {
    std::string_view symbol;
    std::string_view companyName;
    StockKind kind;
};

// The small statement uses the first 20 rows, the long one all 50.
inline constexpr std::array<Security, 50> kSecurities{{
    {"AAPL", "Apple Inc.", StockKind::growth},
    {"ORCL", "Oracle Corp.", StockKind::value},
    {"MSFT", "Microsoft Corp.", StockKind::growth},
    {"AMZN", "Amazon.com Inc.", StockKind::growth},
    {"TSLA", "Tesla Inc.", StockKind::growth},
    {"META", "Meta Platforms Inc.", StockKind::growth},
    {"NVDA", "NVIDIA Corp.", StockKind::growth},
    {"JPM", "JPMorgan Chase & Co.", StockKind::value},
    {"V", "Visa Inc.", StockKind::growth},
    {"JNJ", "Johnson & Johnson", StockKind::value},
    {"PG", "Procter & Gamble Co.", StockKind::value},
    {"UNH", "UnitedHealth Group Inc.", StockKind::growth},
    {"HD", "Home Depot Inc.", StockKind::growth},
    {"MA", "Mastercard Inc.", StockKind::growth},
    {"DIS", "Walt Disney Co.", StockKind::value},
    {"ADBE", "Adobe Inc.", StockKind::growth},
    {"CRM", "Salesforce Inc.", StockKind::growth},
    {"NFLX", "Netflix Inc.", StockKind::growth},
    {"PYPL", "PayPal Holdings Inc.", StockKind::growth},
    {"INTC", "Intel Corp.", StockKind::value},
    {"CSCO", "Cisco Systems Inc.", StockKind::value},
    {"KO", "Coca-Cola Co.", StockKind::value},
    {"PFE", "Pfizer Inc.", StockKind::value},
    {"XOM", "Exxon Mobil Corp.", StockKind::value},
    {"BAC", "Bank of America Corp.", StockKind::value},
    {"WMT", "Walmart Inc.", StockKind::value},
    {"ABBV", "AbbVie Inc.", StockKind::value},
    {"TMO", "Thermo Fisher Scientific", StockKind::growth},
    {"CVX", "Chevron Corp.", StockKind::value},
    {"ACN", "Accenture PLC", StockKind::growth},
    {"AVGO", "Broadcom Inc.", StockKind::growth},
    {"NKE", "Nike Inc.", StockKind::growth},
    {"LLY", "Eli Lilly & Co.", StockKind::growth},
    {"MRK", "Merck & Co. Inc.", StockKind::value},
    {"COST", "Costco Wholesale Corp.", StockKind::growth},
    {"NEE", "NextEra Energy Inc.", StockKind::value},
    {"DHR", "Danaher Corp.", StockKind::growth},
    {"TXN", "Texas Instruments Inc.", StockKind::value},
    {"UNP", "Union Pacific Corp.", StockKind::value},
    {"LOW", "Lowe's Companies Inc.", StockKind::value},
    {"QCOM", "Qualcomm Inc.", StockKind::value},
    {"MDT", "Medtronic PLC", StockKind::value},
    {"HON", "Honeywell International", StockKind::value},
    {"UPS", "United Parcel Service", StockKind::value},
    {"SBUX", "Starbucks Corp.", StockKind::growth},
    {"RTX", "Raytheon Technologies", StockKind::value},
    {"T", "AT&T Inc.", StockKind::value},
    {"IBM", "International Business Machines", StockKind::value},
    {"CAT", "Caterpillar Inc.", StockKind::value},
    {"GS", "Goldman Sachs Group Inc.", StockKind::value},
}};

inline constexpr std::size_t kSmallSecurityCount = 20;

// The percentage of the portfolio in each class: the holdings' own
// percentages added up by the class `classOf` gives each one (an index below
// the class count). Classes that no holding is in stay at 0.
template <std::size_t classCount, typename Holdings, typename ClassOf, typename PercentOf>
std::array<double, classCount> percentByClass(const Holdings& holdings, ClassOf classOf, PercentOf percentOf) {
    std::array<double, classCount> percents{};
    for (const auto& holding : holdings) {
        percents.at(classOf(holding)) += percentOf(holding);
    }
    return percents;
}

// printf-style formatting of figures, independent of the locale.
std::string printfText(const char* format, double value);
std::string printfText(const char* format, double first, double second);

// Currency text of `value` with the given fraction digits; "$" and the
// integer part when the formatter gives nothing.
std::string currencyText(double value, int minimumFractionDigits, int maximumFractionDigits);

// The system font of `weight` and `size`, aligned and coloured.
platform::graphics::TextStyle textStyle(FontWeight weight, double size,
                                        platform::graphics::Alignment alignment = platform::graphics::Alignment::left,
                                        platform::graphics::Color color = platform::graphics::colors::black);

// `text` wrapped in `box` from its top edge down.
void drawTextIn(platform::graphics::Canvas& canvas, std::string_view text, const platform::graphics::TextStyle& style,
                const platform::graphics::Rect& box);

// The watermark both statements draw first on every page: `text` centred on
// the page, turned 45 degrees clockwise.
void drawWatermark(platform::graphics::Canvas& canvas, const platform::graphics::TextStyle& style);

inline constexpr std::string_view kWatermark = "Generated by Stubforge";

// ---- The one-page statement -------------------------------------------------

namespace small_texts {
inline constexpr std::string_view kFirmSuffix = " Asset Management";
inline constexpr std::string_view kWebsitePrefix = "www.";
inline constexpr std::string_view kAccountPrefix = "ACC";
inline constexpr std::string_view kTitle = "INVESTMENT PORTFOLIO STATEMENT";
inline constexpr std::string_view kAsOf = "As of ";
inline constexpr std::array<std::string_view, 4> kClientLabels{
    "Client Name:", "Account Number:", "Financial Advisor:", "Report Period:"};
inline constexpr std::string_view kSummaryHeading = "PORTFOLIO SUMMARY";
inline constexpr std::array<std::string_view, 3> kSummaryLabels{
    "Current Total Value:", "Previous Period Value:", "Net Change:"};
inline constexpr std::string_view kHoldingsHeading = "TOP HOLDINGS";
inline constexpr std::string_view kAllocationHeading = "ASSET ALLOCATION";
inline constexpr std::string_view kPhone = "\nPhone: ";
inline constexpr std::string_view kWebsite = " | Website: ";
}  // namespace small_texts

struct Column {
    std::string_view title;
    double fraction;
    platform::graphics::Alignment alignment;
};

inline constexpr std::array<Column, 6> kHoldingColumns{{
    {"Symbol", 0.12, platform::graphics::Alignment::center},
    {"Company", 0.35, platform::graphics::Alignment::left},
    {"Shares", 0.13, platform::graphics::Alignment::center},
    {"Price", 0.12, platform::graphics::Alignment::right},
    {"Value", 0.15, platform::graphics::Alignment::right},
    {"% Portfolio", 0.13, platform::graphics::Alignment::center},
}};

// The allocation list names every class, those the statement holds nothing
// of with 0%.
inline constexpr std::array<std::string_view, 6> kAssetClasses{
    "Large Cap Stocks", "Mid Cap Stocks", "Small Cap Stocks", "International Stocks", "Bonds", "Cash & Equivalents",
};

// The class of the allocation list a security falls in.
std::size_t assetClassOf(const Security& security);

struct Holding {
    std::string symbol;
    std::string name;
    double shares = 0;
    double price = 0;
    double value = 0;            // shares × price
    double allocation = 0;       // percent of the total value
    std::size_t assetClass = 0;  // index into kAssetClasses
};

struct FundStatement {
    std::string firmName;
    std::string address;  // two lines
    std::string phone;
    std::string website;
    std::string clientName;
    std::string accountNumber;
    std::string advisorName;
    std::string asOfDate;     // today, long style
    std::string periodStart;  // a month ago, medium style
    double total = 0;         // the holdings' values added up
    double previous = 0;
    double change = 0;  // total − previous
    double changePercent = 0;
    std::vector<Holding> holdings;
    std::array<double, kAssetClasses.size()> assetClasses{};  // the holdings' percents by class
};

inline constexpr std::size_t kMinimumHoldings = 5;
inline constexpr std::size_t kMaximumHoldings = 8;
// The range the current total value is kept in.
inline constexpr double kMinimumTotal = 100'000;
inline constexpr double kMaximumTotal = 2'000'000;

// A statement with a drawn holding count (5 to 8).
FundStatement buildFundStatement(const GenerationContext& context);
// A statement with `holdingCount` holdings, 1 to 8 (std::invalid_argument
// otherwise).
FundStatement buildFundStatement(const GenerationContext& context, std::size_t holdingCount);

// Where the parts below the holdings table go for a holding count: rows of
// both tables one pitch apart, narrowed from 22 when more than five holdings
// would push the contact block below where five leave it.
struct FundStatementLayout {
    double rowPitch = 22;
    double cellHeight = 18;
    double holdingsTop = 394;  // the first row's top edge
    double tableEnd = 0;       // below the last row
    double allocationHeadingBottom = 0;
    double firstAllocationRowBottom = 0;
    double ruleY = 0;
    platform::graphics::Rect contactBlock;
};

inline constexpr double kLowestContactBlockBottom = 22;

FundStatementLayout layoutFundStatement(std::size_t holdingCount);

std::vector<std::byte> renderFundStatement(const FundStatement& statement, const GenerationContext& context);

// ---- The long statement ------------------------------------------------------

namespace long_texts {
inline constexpr std::string_view kFirmSuffix = " Wealth Management";
inline constexpr std::string_view kWebsitePrefix = "www.";
inline constexpr std::string_view kAccountPrefix = "WM";
inline constexpr std::string_view kTitle = "COMPREHENSIVE PORTFOLIO STATEMENT";
inline constexpr std::string_view kStatementPeriod = "Statement Period: ";
inline constexpr std::string_view kClientInformation = "CLIENT INFORMATION";
inline constexpr std::string_view kFinancialAdvisor = "FINANCIAL ADVISOR";
inline constexpr std::array<std::string_view, 2> kClientLabels{"Name:", "Account:"};
inline constexpr std::array<std::string_view, 3> kAdvisorLabels{"Advisor:", "Phone:", "Email:"};
inline constexpr std::string_view kSummaryHeading = "PORTFOLIO SUMMARY";
inline constexpr std::array<std::string_view, 3> kSummaryLabels{"Current Portfolio Value", "Previous Period Value",
                                                                "Net Change"};
inline constexpr std::string_view kHoldingsHeading = "DETAILED HOLDINGS";
inline constexpr std::string_view kFooterPrefix = "Portfolio Statement - Page ";
inline constexpr std::string_view kFooterOf = " of ";
inline constexpr std::string_view kFooterSeparator = " - ";
inline constexpr std::string_view kAllocationHeading = "ASSET ALLOCATION ANALYSIS";
inline constexpr std::string_view kPerformanceHeading = "PERFORMANCE METRICS";
inline constexpr std::string_view kRiskHeading = "RISK ANALYSIS";
inline constexpr std::string_view kPhone = "\nPhone: ";
inline constexpr std::string_view kWebsite = " | Website: ";
inline constexpr std::string_view kEmail = " | Email: ";
inline constexpr std::string_view kDisclosure =
    "IMPORTANT DISCLOSURES: This statement is for informational purposes only and does not constitute investment "
    "advice or recommendations. Past performance does not guarantee future results. All investments involve risk, "
    "including potential loss of principal. Market values are subject to change and may not reflect actual "
    "liquidation values. Please consult with your financial advisor before making investment decisions. Securities "
    "are not FDIC insured and are not guaranteed by any government agency.";
}  // namespace long_texts

inline constexpr std::array<std::pair<std::string_view, double>, 8> kLongColumns{{
    {"Symbol", 0.10},
    {"Company", 0.25},
    {"Shares", 0.08},
    {"Price", 0.10},
    {"Market Value", 0.12},
    {"% Port.", 0.08},
    {"Day Change", 0.12},
    {"Total Return", 0.15},
}};

// Drawn in two columns of five, every category shown, those the statement
// holds nothing of with 0%.
inline constexpr std::array<std::string_view, 10> kCategories{
    "Large Cap Growth", "Large Cap Value",    "Mid Cap Stocks", "Small Cap Stocks", "International Developed",
    "Emerging Markets", "Fixed Income Bonds", "REITs",          "Commodities",      "Cash & Money Market",
};

// The category of the analysis page a security falls in.
std::size_t categoryOf(const Security& security);

struct Figure {
    std::string_view label;
    double lower;
    double upper;
    const char* format;
};

inline constexpr std::array<Figure, 6> kPeriods{{
    {"1 Month", -8, 12, "%.2f%%"},
    {"3 Months", -15, 20, "%.2f%%"},
    {"6 Months", -20, 25, "%.2f%%"},
    {"1 Year", -25, 35, "%.2f%%"},
    {"3 Years (Ann.)", -5, 25, "%.2f%%"},
    {"5 Years (Ann.)", 2, 20, "%.2f%%"},
}};

inline constexpr std::array<Figure, 4> kRiskMetrics{{
    {"Beta (vs S&P 500)", 0.7, 1.3, "%.2f"},
    {"Standard Deviation", 8, 25, "%.2f%%"},
    {"Sharpe Ratio", 0.3, 1.8, "%.2f"},
    {"Max Drawdown", 5, 35, "-%.2f%%"},
}};

struct LongHolding {
    std::string symbol;
    std::string companyName;
    double shares = 0;
    double price = 0;
    double marketValue = 0;       // shares × price
    double portfolioPercent = 0;  // of the total market value
    double dayChange = 0;
    double dayChangePercent = 0;
    double totalReturn = 0;
    double totalReturnPercent = 0;
    std::size_t category = 0;  // index into kCategories
};

struct LongFundStatement {
    std::string firmName;
    std::string firmAddress;  // two lines
    std::string firmPhone;
    std::string firmWebsite;
    std::string firmEmail;
    std::string clientName;
    std::string accountNumber;
    std::string advisorName;
    std::string advisorPhone;
    std::string advisorEmail;
    std::string startDate;    // three months ago, medium style
    std::string endDate;      // today, long style
    double currentValue = 0;  // the market values added up
    double previousValue = 0;
    double netChange = 0;  // current − previous
    double netChangePercent = 0;
    std::vector<LongHolding> holdings;                    // largest market value first
    std::array<double, kCategories.size()> categories{};  // the holdings' percents by category
    std::array<double, kPeriods.size()> periods{};
    std::array<double, kRiskMetrics.size()> riskMetrics{};
};

inline constexpr std::size_t kMinimumLongHoldings = 25;
inline constexpr std::size_t kMaximumLongHoldings = 100;
inline constexpr std::size_t kMaximumBuiltLongHoldings = 1000;

// A statement with a drawn holding count (25 to 100).
LongFundStatement buildLongFundStatement(const GenerationContext& context);
// A statement with `holdingCount` holdings, 1 to 1000 (std::invalid_argument
// otherwise).
LongFundStatement buildLongFundStatement(const GenerationContext& context, std::size_t holdingCount);

// ---- Pages of the long statement

// The page geometry the planner and the sections share (points from the
// bottom edge).
namespace long_layout {
inline constexpr double kLeft = 50;
inline constexpr double kContentWidth = 495;
inline constexpr double kTop = 792;
inline constexpr double kHeaderRowHeight = 25;
inline constexpr double kHoldingRowHeight = 22;
// Where the statement header and the holdings heading leave the cursor.
inline constexpr double kHeaderEnd = 542;
inline constexpr double kHoldingsHeadingStep = 25;
inline constexpr double kFirstTableTop = kHeaderEnd - kHoldingsHeadingStep;
inline constexpr double kFooterBottom = 15;
inline constexpr double kFooterHeight = 15;
inline constexpr double kFooterTop = kFooterBottom + kFooterHeight;
inline constexpr std::size_t kFirstPageRows = 15;
inline constexpr std::size_t kContinuationRows = 30;
inline constexpr std::size_t kShortContinuationRows = 20;
// The closing page: the analysis starts 30 below the top.
inline constexpr double kAnalysisTop = kTop - 30;
// Performance items are 25 high; their rows stand this far apart so that a
// value never runs into the label below it.
inline constexpr double kPerformanceItemHeight = 25;
inline constexpr double kPerformanceRowPitch = 28;
}  // namespace long_layout

struct HoldingsPage {
    std::size_t firstRow = 0;
    std::size_t rowCount = 0;
    bool first = false;  // the page with the statement header
    // Top edge of the table header, and the bottom of its last row.
    double tableTop() const { return first ? long_layout::kFirstTableTop : long_layout::kTop; }
    double rowsBottom() const {
        return tableTop() - long_layout::kHeaderRowHeight -
               long_layout::kHoldingRowHeight * static_cast<double>(rowCount);
    }
};

struct LongFundPagePlan {
    std::vector<HoldingsPage> holdingsPages;
    // The holdings pages and the closing page.
    int pageCount() const { return static_cast<int>(holdingsPages.size()) + 1; }
};

// Fifteen rows on the first page; then pages of 30 while more than 20 rows
// remain, else of the rest; then the closing page. Pure: the renderer draws
// exactly these pages, and the footers count them.
LongFundPagePlan planLongFundPages(std::size_t holdingCount);

// The positions the analysis page and the closing block take below `top`.
struct ClosingPageLayout {
    double allocationHeadingBottom = 0;
    double firstAllocationRowBottom = 0;  // later rows 18 lower each
    double performanceHeadingBottom = 0;
    double performanceBase = 0;  // the first row's base; each item hangs 25 below its base
    double riskHeadingBottom = 0;
    double firstRiskRowBottom = 0;
    double analysisEnd = 0;  // where the analysis leaves the cursor
    double closingRule = 0;
    platform::graphics::Rect contactBlock;
    platform::graphics::Rect disclosure;
};

ClosingPageLayout layoutClosingPage(double top = long_layout::kAnalysisTop);

std::vector<std::byte> renderLongFundStatement(const LongFundStatement& statement, const GenerationContext& context);

// ---- Sections of the long statement's pages

struct LongFundStyles {
    platform::graphics::TextStyle title, heading, blockLabel, period, body, bodyRight, small, smallCenter, smallRight,
        columnCenter, columnLeft, columnRight, figure, gainLoss, disclosure, watermark;
};

LongFundStyles makeLongFundStyles();

void drawStatementHeader(platform::graphics::Canvas& canvas, double& y, const LongFundStatement& statement,
                         const LongFundStyles& styles);
void drawHoldingsHeading(platform::graphics::Canvas& canvas, double& y, const LongFundStyles& styles);
void drawTableHeader(platform::graphics::Canvas& canvas, double& y, const LongFundStyles& styles);
void drawHoldingRow(platform::graphics::Canvas& canvas, double& y, const LongHolding& holding, bool firstPage,
                    const LongFundStyles& styles);
void drawPageFooter(platform::graphics::Canvas& canvas, int page, int pageCount, std::string_view firmName,
                    const LongFundStyles& styles);
void drawAnalysisPage(platform::graphics::Canvas& canvas, double& y, const LongFundStatement& statement,
                      const LongFundStyles& styles);
void drawClosingBlock(platform::graphics::Canvas& canvas, double y, const LongFundStatement& statement,
                      const LongFundStyles& styles);

}  // namespace stubforge::fund_portfolio
