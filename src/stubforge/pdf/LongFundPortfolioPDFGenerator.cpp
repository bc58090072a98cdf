// The multi-page portfolio statement: its data, its pages and their order.
// The sections of the pages are drawn in LongFundPortfolioSections.cpp.

#include "DocumentText.h"
#include "Documents.h"
#include "FundPortfolio.h"
#include "StatementPage.h"

#include "stubforge/core/FakeData.h"

#include "platform/Format.h"

#include <algorithm>
#include <stdexcept>

namespace stubforge {

namespace fs = std::filesystem;
namespace graphics = platform::graphics;

namespace fund_portfolio {

LongFundStatement buildLongFundStatement(const GenerationContext& context) {
    return buildLongFundStatement(
        context,
        kMinimumLongHoldings + randomIntBelow(context.random(), kMaximumLongHoldings - kMinimumLongHoldings + 1));
}

LongFundStatement buildLongFundStatement(const GenerationContext& context, std::size_t holdingCount) {
    if (holdingCount < 1 || holdingCount > kMaximumBuiltLongHoldings) {
        throw std::invalid_argument("a long fund statement holds 1 to 1000 holdings");
    }
    sham::Faker faker = makeFaker(context);
    platform::RandomSource& random = context.random();
    LongFundStatement statement;
    statement.firmName = faker.company().name() + std::string(long_texts::kFirmSuffix);
    statement.firmAddress = fakeMailingAddress(faker);
    statement.firmPhone = faker.phoneNumber().phoneNumber();
    statement.firmWebsite = std::string(long_texts::kWebsitePrefix) + faker.internet().domainName(true);
    statement.firmEmail = faker.internet().email();
    statement.clientName = faker.name().name();
    statement.accountNumber =
        std::string(long_texts::kAccountPrefix) + std::to_string(faker.number().randomInt(1000000, 9999999));
    statement.advisorName = faker.name().name();
    statement.advisorPhone = faker.phoneNumber().phoneNumber();
    statement.advisorEmail = faker.internet().email();

    const platform::TimePoint today = context.clock().now();
    statement.endDate = platform::format::date(today, platform::format::DateStyle::longStyle);
    statement.startDate =
        platform::format::date(platform::addingMonths(today, -3), platform::format::DateStyle::medium);

    const double factor = randomDoubleInClosedRange(random, 0.8, 1.2);

    double sum = 0;
    statement.holdings.reserve(holdingCount);
    for (std::size_t index = 0; index < holdingCount; ++index) {
        const Security& security = kSecurities[index % kSecurities.size()];
        LongHolding holding;
        holding.symbol = security.symbol;
        if (index >= kSecurities.size()) {
            holding.symbol += std::to_string(index / kSecurities.size() + 1);
        }
        holding.companyName = security.companyName;
        holding.category = categoryOf(security);
        holding.shares = randomDoubleInClosedRange(random, 10, 5000);
        holding.price = randomDoubleInClosedRange(random, 20, 500);
        holding.dayChange = randomDoubleInClosedRange(random, -10, 15);
        holding.dayChangePercent = randomDoubleInClosedRange(random, -5, 8);
        holding.totalReturn = randomDoubleInClosedRange(random, -20, 100);
        holding.totalReturnPercent = randomDoubleInClosedRange(random, -15, 50);
        holding.marketValue = holding.shares * holding.price;
        sum += holding.marketValue;
        statement.holdings.push_back(std::move(holding));
    }
    for (LongHolding& holding : statement.holdings) {
        holding.portfolioPercent = holding.marketValue / sum * 100;
    }
    std::stable_sort(
        statement.holdings.begin(), statement.holdings.end(),
        [](const LongHolding& left, const LongHolding& right) { return left.marketValue > right.marketValue; });

    // The previous value follows from what the holdings are worth now, so
    // that current − previous is the change the summary shows.
    statement.currentValue = sum;
    statement.previousValue = sum * factor;
    statement.netChange = statement.currentValue - statement.previousValue;
    statement.netChangePercent = statement.netChange / statement.previousValue * 100;

    statement.categories = percentByClass<kCategories.size()>(
        statement.holdings, [](const LongHolding& holding) { return holding.category; },
        [](const LongHolding& holding) { return holding.portfolioPercent; });
    for (std::size_t index = 0; index < kPeriods.size(); ++index) {
        statement.periods[index] = randomDoubleInClosedRange(random, kPeriods[index].lower, kPeriods[index].upper);
    }
    for (std::size_t index = 0; index < kRiskMetrics.size(); ++index) {
        statement.riskMetrics[index] =
            randomDoubleInClosedRange(random, kRiskMetrics[index].lower, kRiskMetrics[index].upper);
    }
    return statement;
}

LongFundPagePlan planLongFundPages(std::size_t holdingCount) {
    LongFundPagePlan plan;
    std::size_t next = std::min(holdingCount, long_layout::kFirstPageRows);
    plan.holdingsPages.push_back({0, next, true});
    while (next < holdingCount) {
        const std::size_t remaining = holdingCount - next;
        const std::size_t limit = remaining > long_layout::kShortContinuationRows ? long_layout::kContinuationRows
                                                                                  : long_layout::kShortContinuationRows;
        const std::size_t rows = std::min(limit, remaining);
        plan.holdingsPages.push_back({next, rows, false});
        next += rows;
    }
    return plan;
}

std::vector<std::byte> renderLongFundStatement(const LongFundStatement& statement, const GenerationContext& context) {
    const LongFundStyles styles = makeLongFundStyles();
    const LongFundPagePlan plan = planLongFundPages(statement.holdings.size());
    const int pageCount = plan.pageCount();
    return renderPDFDocument(statement_page::kSetup, context, [&](DocumentPages& pages) {
        int pageNumber = 0;
        for (const HoldingsPage& page : plan.holdingsPages) {
            ++pageNumber;
            pages.drawPage([&](graphics::Canvas& canvas) {
                drawWatermark(canvas, styles.watermark);
                double y = long_layout::kTop;
                if (page.first) {
                    drawStatementHeader(canvas, y, statement, styles);
                    drawHoldingsHeading(canvas, y, styles);
                }
                // The planner counted on the table starting here.
                if (y != page.tableTop()) {
                    throw std::logic_error("the holdings table does not start where its pages were planned");
                }
                drawTableHeader(canvas, y, styles);
                for (std::size_t row = page.firstRow; row < page.firstRow + page.rowCount; ++row) {
                    drawHoldingRow(canvas, y, statement.holdings[row], page.first, styles);
                }
                drawPageFooter(canvas, pageNumber, pageCount, statement.firmName, styles);
            });
        }
        ++pageNumber;
        pages.drawPage([&](graphics::Canvas& canvas) {
            drawWatermark(canvas, styles.watermark);
            double y = long_layout::kAnalysisTop;
            drawAnalysisPage(canvas, y, statement, styles);
            drawClosingBlock(canvas, y, statement, styles);
            drawPageFooter(canvas, pageNumber, pageCount, statement.firmName, styles);
        });
    });
}

}  // namespace fund_portfolio

fs::path LongFundPortfolioPDFGenerator::generate(const fs::path& destination, ContentSize,
                                                 const GenerationContext& context) {
    const fund_portfolio::LongFundStatement statement = fund_portfolio::buildLongFundStatement(context);
    const std::vector<std::byte> pdf = fund_portfolio::renderLongFundStatement(statement, context);
    return writePDFData(destination, pdf, context);
}

}  // namespace stubforge
