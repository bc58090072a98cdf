// The one-page investment portfolio statement, and what it shares with the
// long one.

#include "DocumentText.h"
#include "Documents.h"
#include "FundPortfolio.h"
#include "StatementPage.h"

#include "stubforge/core/FakeData.h"

#include "platform/Format.h"
#include "platform/graphics/AttributedText.h"
#include "platform/graphics/Color.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <numeric>
#include <stdexcept>

namespace stubforge {

namespace fs = std::filesystem;
namespace graphics = platform::graphics;

namespace fund_portfolio {

// ---- Shared

std::size_t assetClassOf(const Security&) {
    // Large Cap Stocks: the securities are all large US companies.
    return 0;
}

std::size_t categoryOf(const Security& security) {
    // Large Cap Growth or Large Cap Value.
    return security.kind == StockKind::growth ? 0 : 1;
}

namespace {

// printf writes a negative value that rounds to zero as "-0" ("-0.0"); a
// figure of zero carries no sign.
std::string withoutSignedZeros(std::string text) {
    for (std::size_t minus = text.find('-'); minus != std::string::npos; minus = text.find('-', minus + 1)) {
        if (minus > 0 && std::isdigit(static_cast<unsigned char>(text[minus - 1])) != 0) {
            continue;  // a range or a date, not a sign
        }
        std::size_t end = minus + 1;
        bool onlyZeros = true;
        while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) != 0 || text[end] == '.')) {
            onlyZeros = onlyZeros && (text[end] == '0' || text[end] == '.');
            ++end;
        }
        if (end > minus + 1 && onlyZeros) {
            text.erase(minus, 1);
        }
    }
    return text;
}

std::string bufferText(const char* buffer, int length, std::size_t capacity) {
    return withoutSignedZeros(
        std::string(buffer, static_cast<std::size_t>(std::clamp(length, 0, static_cast<int>(capacity) - 1))));
}

}  // namespace

std::string printfText(const char* format, double value) {
    char buffer[96];
    return bufferText(buffer, std::snprintf(buffer, sizeof buffer, format, value), sizeof buffer);
}

std::string printfText(const char* format, double first, double second) {
    char buffer[96];
    return bufferText(buffer, std::snprintf(buffer, sizeof buffer, format, first, second), sizeof buffer);
}

std::string currencyText(double value, int minimumFractionDigits, int maximumFractionDigits) {
    std::string text = platform::format::currency(value, minimumFractionDigits, maximumFractionDigits);
    if (text.empty()) {
        text = std::string("$").append(
            std::to_string(std::isfinite(value) ? static_cast<long long>(std::trunc(value)) : 0LL));
    }
    return text;
}

graphics::TextStyle textStyle(FontWeight weight, double size, graphics::Alignment alignment, graphics::Color color) {
    graphics::TextStyle result;
    result.font = systemFont(weight, size);
    result.color = color;
    result.paragraph.alignment = alignment;
    return result;
}

void drawTextIn(graphics::Canvas& canvas, std::string_view text, const graphics::TextStyle& style,
                const graphics::Rect& box) {
    canvas.drawText(graphics::AttributedText(text, style), box);
}

void drawWatermark(graphics::Canvas& canvas, const graphics::TextStyle& style) {
    const graphics::AttributedText text(kWatermark, style);
    const graphics::Size size = canvas.measure(text);
    const graphics::Size page = canvas.pageSize();
    canvas.save();
    canvas.translate(page.width * 0.5, page.height * 0.5);
    canvas.rotate(-std::numbers::pi / 4);
    canvas.drawText(text, graphics::Rect{-size.width * 0.5, -size.height * 0.5, size.width, size.height});
    canvas.restore();
}

// ---- The one-page statement

namespace {

using statement_page::kContentWidth;
using statement_page::kRight;
constexpr double kLeft = statement_page::kMargin;

// Below the holdings table, as five holdings leave it: the heading 40 below
// the table, the allocation rows from 50 below, the rule 24 under the last
// row, the contact block's bottom 60 under the rule.
constexpr double kHoldingsTop = 394;
constexpr double kStandardPitch = 22;
constexpr double kStandardCellHeight = 18;
constexpr double kAllocationHeadingGap = 40;
constexpr double kAllocationRowsGap = 50;
constexpr double kRuleGap = 24;
constexpr double kContactBelowRule = 60;
constexpr double kContactHeight = 45;

// Above the holdings table, from the top of the page down: bottoms of the
// title, heading and date boxes and the rule under them; the client rows
// and the summary rows, each from the bottom of its first row by its own
// pitch; the two headings and the holdings' column titles.
constexpr double kTitleBottom = 767;
constexpr double kHeadingBottom = 737;
constexpr double kAsOfBottom = 712;
constexpr double kHeaderRuleY = 697;
constexpr double kFirstClientRowBottom = 659;
constexpr double kClientRowPitch = 22;
constexpr double kSummaryHeadingBottom = 554;
constexpr double kFirstSummaryRowBottom = 526;
constexpr double kSummaryRowPitch = 25;
constexpr double kHoldingsHeadingBottom = 429;
constexpr double kColumnTitlesBottom = 399;
// The summary row whose value is coloured as a gain or a loss.
constexpr std::size_t kNetChangeRow = 2;
static_assert(small_texts::kSummaryLabels[kNetChangeRow] == "Net Change:");

graphics::TextStyle style(FontWeight weight, double size, graphics::Alignment alignment = graphics::Alignment::left,
                          graphics::Color color = graphics::colors::black) {
    return textStyle(weight, size, alignment, color);
}

void drawIn(graphics::Canvas& canvas, std::string_view text, const graphics::TextStyle& style,
            const graphics::Rect& box) {
    drawTextIn(canvas, text, style, box);
}

}  // namespace

FundStatement buildFundStatement(const GenerationContext& context) {
    return buildFundStatement(
        context, kMinimumHoldings + randomIntBelow(context.random(), kMaximumHoldings - kMinimumHoldings + 1));
}

FundStatement buildFundStatement(const GenerationContext& context, std::size_t holdingCount) {
    if (holdingCount < 1 || holdingCount > kMaximumHoldings) {
        throw std::invalid_argument("a fund statement holds 1 to 8 holdings");
    }
    sham::Faker faker = makeFaker(context);
    platform::RandomSource& random = context.random();
    FundStatement statement;
    statement.firmName = faker.company().name() + std::string(small_texts::kFirmSuffix);
    statement.address = fakeMailingAddress(faker);
    statement.phone = faker.phoneNumber().phoneNumber();
    statement.website = std::string(small_texts::kWebsitePrefix) + faker.internet().domainName(true);
    statement.clientName = faker.name().name();
    statement.accountNumber =
        std::string(small_texts::kAccountPrefix) + std::to_string(faker.number().randomInt(100000, 999999));
    statement.advisorName = faker.name().name();

    const platform::TimePoint today = context.clock().now();
    statement.asOfDate = platform::format::date(today, platform::format::DateStyle::longStyle);
    statement.periodStart =
        platform::format::date(platform::addingMonths(today, -1), platform::format::DateStyle::medium);

    const double factor = randomDoubleInClosedRange(random, 0.85, 1.15);

    double sum = 0;
    for (std::size_t index = 0; index < holdingCount; ++index) {
        const Security& security = kSecurities[index % kSmallSecurityCount];
        Holding holding;
        holding.symbol = security.symbol;
        holding.name = security.companyName;
        holding.assetClass = assetClassOf(security);
        holding.shares = randomDoubleInClosedRange(random, 10, 1000);
        holding.price = randomDoubleInClosedRange(random, 50, 400);
        holding.value = holding.shares * holding.price;
        sum += holding.value;
        statement.holdings.push_back(std::move(holding));
    }
    // The summary's total is what the holdings are worth; the rare sum
    // outside the total's range moves every share count by one factor.
    const double kept = std::clamp(sum, kMinimumTotal, kMaximumTotal);
    if (kept != sum) {
        const double scale = kept / sum;
        sum = 0;
        for (Holding& holding : statement.holdings) {
            holding.shares *= scale;
            holding.value = holding.shares * holding.price;
            sum += holding.value;
        }
    }
    statement.total = sum;
    for (Holding& holding : statement.holdings) {
        holding.allocation = holding.value / statement.total * 100;
    }
    statement.previous = statement.total * factor;
    statement.change = statement.total - statement.previous;
    statement.changePercent = statement.change / statement.previous * 100;

    statement.assetClasses = percentByClass<kAssetClasses.size()>(
        statement.holdings, [](const Holding& holding) { return holding.assetClass; },
        [](const Holding& holding) { return holding.allocation; });
    return statement;
}

FundStatementLayout layoutFundStatement(std::size_t holdingCount) {
    const double rows = static_cast<double>(holdingCount + kAssetClasses.size() - 1);
    // Five holdings leave the contact block at its lowest; more narrow the
    // pitch of both tables so that it stays there.
    const double room = kHoldingsTop - kAllocationRowsGap - kStandardCellHeight - kRuleGap - kContactBelowRule -
                        kLowestContactBlockBottom;
    FundStatementLayout layout;
    layout.rowPitch = std::min(kStandardPitch, room / rows);
    layout.cellHeight = std::min(kStandardCellHeight, layout.rowPitch - 4);
    layout.holdingsTop = kHoldingsTop;
    layout.tableEnd = kHoldingsTop - layout.rowPitch * static_cast<double>(holdingCount);
    layout.allocationHeadingBottom = layout.tableEnd - kAllocationHeadingGap;
    const double allocationTop = layout.tableEnd - kAllocationRowsGap;
    layout.firstAllocationRowBottom = allocationTop - layout.cellHeight;
    layout.ruleY = allocationTop - layout.rowPitch * static_cast<double>(kAssetClasses.size() - 1) -
                   kStandardCellHeight - kRuleGap;
    layout.contactBlock = {kLeft, layout.ruleY - kContactBelowRule, kContentWidth, kContactHeight};
    return layout;
}

std::vector<std::byte> renderFundStatement(const FundStatement& statement, const GenerationContext& context) {
    using graphics::Alignment;
    const graphics::TextStyle title = style(FontWeight::bold, 14, Alignment::center);
    const graphics::TextStyle heading = style(FontWeight::bold, 10, Alignment::center);
    const graphics::TextStyle label = style(FontWeight::bold, 9);
    const graphics::TextStyle labelRight = style(FontWeight::bold, 9, Alignment::right);
    const graphics::TextStyle columnTitle = style(FontWeight::bold, 9, Alignment::center);
    const graphics::TextStyle body = style(FontWeight::regular, 8);
    const graphics::TextStyle bodyCenter = style(FontWeight::regular, 8, Alignment::center);
    const graphics::TextStyle bodyRight = style(FontWeight::regular, 8, Alignment::right);
    const graphics::TextStyle contact = style(FontWeight::regular, 7, Alignment::center);
    const graphics::TextStyle watermark =
        style(FontWeight::regular, 48, Alignment::left, graphics::colors::gray.withAlpha(0.1));
    const FundStatementLayout layout = layoutFundStatement(statement.holdings.size());

    const auto draw = [&](graphics::Canvas& canvas) {
        drawWatermark(canvas, watermark);

        drawIn(canvas, statement.firmName, title, {kLeft, kTitleBottom, kContentWidth, 25});
        drawIn(canvas, small_texts::kTitle, heading, {kLeft, kHeadingBottom, kContentWidth, 20});
        drawIn(canvas, std::string(small_texts::kAsOf) + statement.asOfDate, bodyCenter,
               {kLeft, kAsOfBottom, kContentWidth, 15});
        canvas.strokeLine({kLeft, kHeaderRuleY}, {kRight, kHeaderRuleY}, {graphics::colors::black, 1});

        const double labelWidth = kContentWidth * 0.35;
        const std::array<std::string, 4> clientValues{statement.clientName, statement.accountNumber,
                                                      statement.advisorName,
                                                      statement.periodStart + " - " + statement.asOfDate};
        for (std::size_t row = 0; row < clientValues.size(); ++row) {
            const double bottom = kFirstClientRowBottom - kClientRowPitch * static_cast<double>(row);
            drawIn(canvas, small_texts::kClientLabels[row], label, {kLeft, bottom, labelWidth, 18});
            drawIn(canvas, clientValues[row], body, {kLeft + labelWidth, bottom, kContentWidth - labelWidth, 18});
        }

        drawIn(canvas, small_texts::kSummaryHeading, heading, {kLeft, kSummaryHeadingBottom, kContentWidth, 20});
        const std::string sign = statement.change >= 0 ? "+" : "-";
        const std::array<std::string, 3> summaryValues{
            currencyText(statement.total, 2, 2), currencyText(statement.previous, 2, 2),
            sign + currencyText(std::fabs(statement.change), 2, 2) + " (" + sign +
                printfText("%.2f", std::fabs(statement.changePercent)) + "%)"};
        const double summaryLabelWidth = kContentWidth * 0.6;
        for (std::size_t row = 0; row < summaryValues.size(); ++row) {
            const double bottom = kFirstSummaryRowBottom - kSummaryRowPitch * static_cast<double>(row);
            graphics::TextStyle valueStyle = labelRight;
            if (row == kNetChangeRow) {
                valueStyle.color = statement.change >= 0 ? graphics::colors::green : graphics::colors::red;
            }
            drawIn(canvas, small_texts::kSummaryLabels[row], label, {kLeft, bottom, summaryLabelWidth, 18});
            drawIn(canvas, summaryValues[row], valueStyle,
                   {kLeft + summaryLabelWidth, bottom, kContentWidth - summaryLabelWidth, 18});
        }

        drawIn(canvas, small_texts::kHoldingsHeading, heading, {kLeft, kHoldingsHeadingBottom, kContentWidth, 20});
        canvas.fillRect({kLeft, kHoldingsTop, kContentWidth, 25}, graphics::Color::gray(0.9));
        std::array<double, kHoldingColumns.size()> columnX{};
        double x = kLeft;
        for (std::size_t column = 0; column < kHoldingColumns.size(); ++column) {
            columnX[column] = x;
            const double width = kContentWidth * kHoldingColumns[column].fraction;
            drawIn(canvas, kHoldingColumns[column].title, columnTitle, {x, kColumnTitlesBottom, width, 20});
            x += width;
        }
        double top = layout.holdingsTop;
        for (const Holding& holding : statement.holdings) {
            const std::array<std::string, kHoldingColumns.size()> cells{holding.symbol,
                                                                        holding.name,
                                                                        printfText("%.0f", holding.shares),
                                                                        printfText("$%.2f", holding.price),
                                                                        currencyText(holding.value, 2, 2),
                                                                        printfText("%.1f%%", holding.allocation)};
            for (std::size_t column = 0; column < cells.size(); ++column) {
                const graphics::TextStyle& cellStyle =
                    kHoldingColumns[column].alignment == Alignment::center  ? bodyCenter
                    : kHoldingColumns[column].alignment == Alignment::right ? bodyRight
                                                                            : body;
                drawIn(canvas, cells[column], cellStyle,
                       {columnX[column], top - layout.cellHeight, kContentWidth * kHoldingColumns[column].fraction,
                        layout.cellHeight});
            }
            const double ruleY = top - (layout.rowPitch - 2);
            canvas.strokeLine({kLeft, ruleY}, {kRight, ruleY}, {graphics::Color::gray(0.8), 0.5});
            top -= layout.rowPitch;
        }

        drawIn(canvas, small_texts::kAllocationHeading, heading,
               {kLeft, layout.allocationHeadingBottom, kContentWidth, 20});
        const double assetLabelWidth = kContentWidth * 0.7;
        for (std::size_t row = 0; row < kAssetClasses.size(); ++row) {
            const double bottom = layout.firstAllocationRowBottom - layout.rowPitch * static_cast<double>(row);
            drawIn(canvas, kAssetClasses[row], body, {kLeft, bottom, assetLabelWidth, layout.cellHeight});
            drawIn(canvas, printfText("%.1f%%", statement.assetClasses[row]), bodyRight,
                   {kLeft + assetLabelWidth, bottom, kContentWidth - assetLabelWidth, layout.cellHeight});
        }
        canvas.strokeLine({kLeft, layout.ruleY}, {kRight, layout.ruleY}, {graphics::colors::black, 1});
        drawIn(canvas,
               statement.firmName + "\n" + statement.address + std::string(small_texts::kPhone) + statement.phone +
                   std::string(small_texts::kWebsite) + statement.website,
               contact, layout.contactBlock);
    };
    return statement_page::renderOnePage(context, draw);
}

}  // namespace fund_portfolio

fs::path FundPortfolioPDFGenerator::generate(const fs::path& destination, ContentSize,
                                             const GenerationContext& context) {
    const fund_portfolio::FundStatement statement = fund_portfolio::buildFundStatement(context);
    const std::vector<std::byte> pdf = fund_portfolio::renderFundStatement(statement, context);
    return writePDFData(destination, pdf, context);
}

}  // namespace stubforge
