// The sections of the long portfolio statement's pages: statement header,
// holdings table, footer, analysis page and closing block.

#include "FundPortfolio.h"

#include "platform/graphics/AttributedText.h"
#include "platform/graphics/Color.h"

#include <cmath>

namespace stubforge::fund_portfolio {

namespace graphics = platform::graphics;
using graphics::Alignment;
using long_layout::kContentWidth;
using long_layout::kLeft;

namespace {

double pageRight(graphics::Canvas& canvas) { return canvas.pageSize().width - kLeft; }

// The left edges of the holdings columns and their widths.
struct ColumnGrid {
    std::array<double, kLongColumns.size()> x{};
    std::array<double, kLongColumns.size()> width{};
};

ColumnGrid columnGrid() {
    ColumnGrid grid;
    double x = kLeft;
    for (std::size_t column = 0; column < kLongColumns.size(); ++column) {
        grid.x[column] = x;
        grid.width[column] = kContentWidth * kLongColumns[column].second;
        x += grid.width[column];
    }
    return grid;
}

graphics::TextStyle colored(graphics::TextStyle style, bool gain) {
    style.color = gain ? graphics::colors::green : graphics::colors::red;
    return style;
}

std::string marketValueText(double value) {
    return value <= 10000 ? currencyText(value, 0, 2) : currencyText(value, 0, 0);
}

struct ClosingBlock {
    double rule;
    graphics::Rect contact;
    graphics::Rect disclosure;
};

ClosingBlock closingBlockBelow(double y) {
    const double line = y - 20;
    return {line, {kLeft, line - 60, kContentWidth, 45}, {kLeft, line - 130, kContentWidth, 60}};
}

constexpr double kAllocationRowPitch = 18;
constexpr double kRiskRowPitch = 18;

}  // namespace

LongFundStyles makeLongFundStyles() {
    LongFundStyles styles;
    styles.title = textStyle(FontWeight::bold, 14, Alignment::center);
    styles.heading = textStyle(FontWeight::bold, 9, Alignment::center);
    styles.blockLabel = textStyle(FontWeight::bold, 8);
    styles.period = textStyle(FontWeight::regular, 7, Alignment::center);
    styles.body = textStyle(FontWeight::regular, 7);
    styles.bodyRight = textStyle(FontWeight::regular, 7, Alignment::right);
    styles.small = textStyle(FontWeight::regular, 6);
    styles.smallCenter = textStyle(FontWeight::regular, 6, Alignment::center);
    styles.smallRight = textStyle(FontWeight::regular, 6, Alignment::right);
    styles.columnCenter = textStyle(FontWeight::bold, 6, Alignment::center);
    styles.columnLeft = textStyle(FontWeight::bold, 6);
    styles.columnRight = textStyle(FontWeight::bold, 6, Alignment::right);
    styles.figure = textStyle(FontWeight::bold, 8, Alignment::center);
    styles.gainLoss = textStyle(FontWeight::regular, 6, Alignment::right);
    styles.disclosure = textStyle(FontWeight::regular, 6, Alignment::center, graphics::colors::gray);
    styles.watermark = textStyle(FontWeight::regular, 36, Alignment::left, graphics::colors::gray.withAlpha(0.08));
    return styles;
}

void drawStatementHeader(graphics::Canvas& canvas, double& y, const LongFundStatement& statement,
                         const LongFundStyles& styles) {
    const double x = kLeft;
    const double w = kContentWidth;
    drawTextIn(canvas, statement.firmName, styles.title, {x, y - 25, w, 25});
    y -= 35;
    drawTextIn(canvas, long_texts::kTitle, styles.heading, {x, y - 20, w, 20});
    y -= 25;
    drawTextIn(canvas, std::string(long_texts::kStatementPeriod) + statement.startDate + " - " + statement.endDate,
               styles.period, {x, y - 15, w, 15});

    const double rule = y - 25;
    canvas.strokeLine({x, rule}, {pageRight(canvas), rule}, {graphics::colors::black, 1.5});
    drawTextIn(canvas, long_texts::kClientInformation, styles.blockLabel, {x, rule - 30, w * 0.45, 15});
    drawTextIn(canvas, long_texts::kFinancialAdvisor, styles.blockLabel, {x + w * 0.55, rule - 30, w * 0.45, 15});
    const std::array<std::string, 2> clientValues{statement.clientName, statement.accountNumber};
    const std::array<std::string, 3> advisorValues{statement.advisorName, statement.advisorPhone,
                                                   statement.advisorEmail};
    for (std::size_t row = 0; row < advisorValues.size(); ++row) {
        const double bottom = rule - 47 - 15 * static_cast<double>(row);
        if (row < clientValues.size()) {
            drawTextIn(canvas, long_texts::kClientLabels[row], styles.small, {x, bottom, w * 0.15, 12});
            drawTextIn(canvas, clientValues[row], styles.small, {x + w * 0.15, bottom, w * 0.3, 12});
        }
        drawTextIn(canvas, long_texts::kAdvisorLabels[row], styles.small, {x + w * 0.55, bottom, w * 0.15, 12});
        drawTextIn(canvas, advisorValues[row], styles.small, {x + w * 0.7, bottom, w * 0.3, 12});
    }

    const double summary = rule - 90;
    drawTextIn(canvas, long_texts::kSummaryHeading, styles.heading, {x, summary - 18, w, 18});
    const double boxes = summary - 25;
    const bool gain = statement.netChange >= 0;
    const std::string sign = gain ? "+" : "-";
    const std::array<std::string, 3> figures{currencyText(statement.currentValue, 0, 2),
                                             currencyText(statement.previousValue, 0, 2),
                                             sign + currencyText(std::fabs(statement.netChange), 0, 2) + " (" + sign +
                                                 printfText("%.2f", std::fabs(statement.netChangePercent)) + "%)"};
    for (std::size_t box = 0; box < figures.size(); ++box) {
        const double boxX = x + static_cast<double>(box) * w / 3;
        const std::string_view label = long_texts::kSummaryLabels[box];
        drawTextIn(canvas, label, styles.smallCenter, {boxX, boxes - 12, w / 3, 12});
        const bool netChange = label.find("Net Change") != std::string_view::npos;
        drawTextIn(canvas, figures[box], netChange ? colored(styles.figure, gain) : styles.figure,
                   {boxX, boxes - 27, w / 3, 15});
    }
    canvas.strokeLine({x, boxes - 35}, {pageRight(canvas), boxes - 35}, {graphics::colors::black, 1});
    y = boxes - 50;
}

void drawHoldingsHeading(graphics::Canvas& canvas, double& y, const LongFundStyles& styles) {
    drawTextIn(canvas, long_texts::kHoldingsHeading, styles.heading, {kLeft, y - 18, kContentWidth, 18});
    y -= long_layout::kHoldingsHeadingStep;
}

void drawTableHeader(graphics::Canvas& canvas, double& y, const LongFundStyles& styles) {
    const double h = long_layout::kHeaderRowHeight;
    const graphics::Rect band{kLeft, y - h, kContentWidth, h};
    canvas.fillRect(band, graphics::Color::gray(0.85));
    const ColumnGrid grid = columnGrid();
    for (std::size_t column = 0; column < kLongColumns.size(); ++column) {
        const std::string_view title = kLongColumns[column].first;
        const graphics::TextStyle& style = (title == "Symbol" || title == "% Port.") ? styles.columnCenter
                                           : title == "Company"                      ? styles.columnLeft
                                                                                     : styles.columnRight;
        drawTextIn(canvas, title, style, {grid.x[column] + 2, y - h + 3, grid.width[column] - 4, h - 6});
    }
    canvas.strokeRect(band, {graphics::colors::black, 1});
    y -= h;
}

void drawHoldingRow(graphics::Canvas& canvas, double& y, const LongHolding& holding, bool firstPage,
                    const LongFundStyles& styles) {
    const double h = long_layout::kHoldingRowHeight;
    const double bottom = y - h;
    const ColumnGrid grid = columnGrid();
    const std::array<std::string, kLongColumns.size()> cells{
        holding.symbol,
        holding.companyName,
        printfText("%.0f", holding.shares),
        printfText("$%.2f", holding.price),
        marketValueText(holding.marketValue),
        printfText("%.1f%%", holding.portfolioPercent),
        printfText("$%.0f (%.1f%%)", holding.dayChange, holding.dayChangePercent),
        printfText("$%.0f (%.1f%%)", holding.totalReturn, holding.totalReturnPercent)};
    const std::array<graphics::TextStyle, kLongColumns.size()> cellStyles{
        styles.smallCenter,
        firstPage ? styles.body : styles.small,
        styles.smallRight,
        styles.smallRight,
        styles.smallRight,
        styles.smallCenter,
        colored(styles.gainLoss, holding.dayChange >= 0),
        colored(styles.gainLoss, holding.totalReturn >= 0)};
    for (std::size_t column = 0; column < cells.size(); ++column) {
        drawTextIn(canvas, cells[column], cellStyles[column],
                   {grid.x[column] + 1, bottom + 2, grid.width[column] - 2, 18});
    }
    const graphics::Stroke gridStroke{graphics::Color::gray(0.8), 0.3};
    canvas.strokeRect({kLeft, bottom, kContentWidth, h}, gridStroke);
    for (std::size_t column = 1; column < kLongColumns.size(); ++column) {
        canvas.strokeLine({grid.x[column], y}, {grid.x[column], bottom}, gridStroke);
    }
    y = bottom;
}

void drawPageFooter(graphics::Canvas& canvas, int page, int pageCount, std::string_view firmName,
                    const LongFundStyles& styles) {
    const std::string text = std::string(long_texts::kFooterPrefix) + std::to_string(page) +
                             std::string(long_texts::kFooterOf) + std::to_string(pageCount) +
                             std::string(long_texts::kFooterSeparator) + std::string(firmName);
    drawTextIn(canvas, text, styles.smallCenter,
               {kLeft, long_layout::kFooterBottom, kContentWidth, long_layout::kFooterHeight});
}

ClosingPageLayout layoutClosingPage(double top) {
    ClosingPageLayout layout;
    layout.allocationHeadingBottom = top - 20;
    const double allocationTop = top - 30;
    layout.firstAllocationRowBottom = allocationTop - 15;
    const double allocationEnd = allocationTop - kAllocationRowPitch * 5;
    layout.performanceHeadingBottom = allocationEnd - 35;
    layout.performanceBase = allocationEnd - 45;
    // Two rows of items, and everything below them moved down by what the
    // wider row pitch adds.
    const double widening = long_layout::kPerformanceRowPitch - 20;
    layout.riskHeadingBottom = layout.performanceBase - 70 - widening;
    const double riskTop = layout.performanceBase - 80 - widening;
    layout.firstRiskRowBottom = riskTop - 15;
    layout.analysisEnd = riskTop - kRiskRowPitch * static_cast<double>(kRiskMetrics.size());
    const ClosingBlock block = closingBlockBelow(layout.analysisEnd);
    layout.closingRule = block.rule;
    layout.contactBlock = block.contact;
    layout.disclosure = block.disclosure;
    return layout;
}

void drawAnalysisPage(graphics::Canvas& canvas, double& y, const LongFundStatement& statement,
                      const LongFundStyles& styles) {
    const double x = kLeft;
    const double w = kContentWidth;
    const ClosingPageLayout layout = layoutClosingPage(y);
    drawTextIn(canvas, long_texts::kAllocationHeading, styles.heading, {x, layout.allocationHeadingBottom, w, 20});
    constexpr std::size_t half = kCategories.size() / 2;
    for (std::size_t row = 0; row < half; ++row) {
        const double bottom = layout.firstAllocationRowBottom - kAllocationRowPitch * static_cast<double>(row);
        drawTextIn(canvas, kCategories[row], styles.body, {x, bottom, w * 0.35, 15});
        drawTextIn(canvas, printfText("%.1f%%", statement.categories[row]), styles.bodyRight,
                   {x + w * 0.35, bottom, w * 0.1, 15});
        drawTextIn(canvas, kCategories[row + half], styles.body, {x + w * 0.55, bottom, w * 0.35, 15});
        drawTextIn(canvas, printfText("%.1f%%", statement.categories[row + half]), styles.bodyRight,
                   {x + w * 0.9, bottom, w * 0.1, 15});
    }

    drawTextIn(canvas, long_texts::kPerformanceHeading, styles.heading, {x, layout.performanceHeadingBottom, w, 20});
    for (std::size_t item = 0; item < kPeriods.size(); ++item) {
        const double itemX = x + static_cast<double>(item % 3) * w / 3;
        const double base = layout.performanceBase - long_layout::kPerformanceRowPitch * static_cast<double>(item / 3);
        const std::string value = printfText(kPeriods[item].format, statement.periods[item]);
        drawTextIn(canvas, kPeriods[item].label, styles.period, {itemX, base - 12, w / 3, 12});
        drawTextIn(canvas, value, colored(styles.figure, value.empty() || value.front() != '-'),
                   {itemX, base - long_layout::kPerformanceItemHeight, w / 3, 13});
    }

    drawTextIn(canvas, long_texts::kRiskHeading, styles.heading, {x, layout.riskHeadingBottom, w, 20});
    for (std::size_t row = 0; row < kRiskMetrics.size(); ++row) {
        const double bottom = layout.firstRiskRowBottom - kRiskRowPitch * static_cast<double>(row);
        drawTextIn(canvas, kRiskMetrics[row].label, styles.body, {x, bottom, w * 0.7, 15});
        drawTextIn(canvas, printfText(kRiskMetrics[row].format, statement.riskMetrics[row]), styles.bodyRight,
                   {x + w * 0.7, bottom, w * 0.3, 15});
    }
    y = layout.analysisEnd;
}

void drawClosingBlock(graphics::Canvas& canvas, double y, const LongFundStatement& statement,
                      const LongFundStyles& styles) {
    const ClosingBlock block = closingBlockBelow(y);
    canvas.strokeLine({kLeft, block.rule}, {pageRight(canvas), block.rule}, {graphics::colors::black, 1});
    drawTextIn(canvas,
               statement.firmName + "\n" + statement.firmAddress + std::string(long_texts::kPhone) +
                   statement.firmPhone + std::string(long_texts::kWebsite) + statement.firmWebsite +
                   std::string(long_texts::kEmail) + statement.firmEmail,
               styles.smallCenter, block.contact);
    drawTextIn(canvas, long_texts::kDisclosure, styles.disclosure, block.disclosure);
}

}  // namespace stubforge::fund_portfolio
