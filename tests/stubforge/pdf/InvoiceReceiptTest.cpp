// The invoices and receipts: their page plans over every row count, and
// documents built with edge counts read back with qpdf and poppler.

#include "Documents.h"
#include "Invoices.h"
#include "Receipts.h"

#include "stubforge/pdf/DocumentSupport.h"

#include "CoreTestSupport.h"
#include "PdfTools.h"

#include "platform/Error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace stubforge {
namespace {

namespace fs = std::filesystem;

constexpr double kPageHeight = 842;
constexpr double kPageWidth = 595;

// ---- Long invoice plan

TEST(LongInvoicePlanTest, EveryRowOnExactlyOnePageAndEverythingAboveTheFooter) {
    using namespace invoice;
    for (std::size_t count = 0; count <= 300; ++count) {
        SCOPED_TRACE(count);
        const auto plan = planLongInvoicePages(count);
        ASSERT_GE(plan.size(), 2u);
        std::size_t next = 0;
        for (std::size_t index = 0; index < plan.size(); ++index) {
            const LongInvoicePage& page = plan[index];
            EXPECT_EQ(page.firstRow, next);
            next += page.rowCount;
            EXPECT_EQ(page.headerBlocks, index == 0);
            EXPECT_EQ(page.totals, index + 1 == plan.size());
            const double bandTop = page.headerBlocks ? kFirstPageBandTop : kPageBandTop;
            const double lastRowBottom = bandTop - kBandHeight - kRowHeight * static_cast<double>(page.rowCount);
            EXPECT_GE(lastRowBottom, kLongInvoiceFooterTop);
            if (page.totals) {
                EXPECT_GE(lastRowBottom - kLongInvoiceClosingDepth, kLongInvoiceFooterTop);
            }
        }
        EXPECT_EQ(next, count);
    }
}

TEST(LongInvoicePlanTest, PagesAsTheInvoiceLaysThemOut) {
    using Rows = std::vector<std::size_t>;
    const std::map<std::size_t, Rows> expected{
        {3, {3, 0}},       {15, {15, 0}},      {16, {15, 1}},         {32, {15, 17}},
        {33, {15, 18, 0}}, {57, {15, 25, 17}}, {58, {15, 25, 18, 0}}, {99, {15, 25, 25, 25, 9}},
    };
    for (const auto& [count, rows] : expected) {
        Rows planned;
        for (const auto& page : invoice::planLongInvoicePages(count)) {
            planned.push_back(page.rowCount);
        }
        EXPECT_EQ(planned, rows) << count;
    }
    // 2 pages up to 32 items, then one more per 25.
    for (std::size_t count = 3; count <= 99; ++count) {
        const std::size_t pages = count <= 32 ? 2 : 2 + (count - 32 + 24) / 25;
        EXPECT_EQ(invoice::planLongInvoicePages(count).size(), pages) << count;
    }
}

// ---- Long receipt plan

TEST(LongReceiptPlanTest, EveryRowOnOnePageAndOneClosingBlockInsideTheMargins) {
    using namespace receipt;
    for (std::size_t count = 0; count <= 300; ++count) {
        SCOPED_TRACE(count);
        const auto plan = planLongReceiptPages(count);
        std::size_t next = 0;
        int closings = 0;
        for (std::size_t index = 0; index < plan.size(); ++index) {
            const LongReceiptPage& page = plan[index];
            EXPECT_EQ(page.firstRow, next);
            next += page.rowCount;
            EXPECT_EQ(page.storeHeader, index == 0);
            EXPECT_LE(page.rowCount, index == 0 ? kLongFirstPageRows : kLongFullPageRows);
            EXPECT_TRUE(page.tableHeader || page.rowCount == 0);
            double top = page.storeHeader ? kLongFirstPageTableTop : kLongTopLine;
            if (page.tableHeader) {
                top -= kLongTableHeaderHeight;
            }
            const double lastRowBottom = top - kLongRowHeight * static_cast<double>(page.rowCount);
            EXPECT_GE(lastRowBottom, kLongFooterTop);
            if (page.closingTop) {
                ++closings;
                EXPECT_EQ(index + 1, plan.size()) << "the closing block is on the last page";
                EXPECT_EQ(next, count) << "after every row";
                EXPECT_LE(*page.closingTop, page.rowCount == 0 ? kLongTopLine : lastRowBottom - kLongRowHeight);
                EXPECT_GE(*page.closingTop - kLongClosingBlockDepth, kLongFooterTop);
            }
        }
        EXPECT_EQ(next, count);
        EXPECT_EQ(closings, 1);
    }
}

TEST(LongReceiptPlanTest, RowsPerPageAndWhereTheClosingBlockGoes) {
    struct Case {
        std::size_t count;
        std::vector<std::size_t> rows;
        bool closingWithRows;  // else on a page of its own
    };
    // 21–25 rows left after the full pages once put the block off the page;
    // 26–35 left it out.
    const Case cases[] = {
        {15, {15, 0}, false},        {20, {20, 0}, false},          {21, {20, 1}, true},
        {25, {20, 5}, true},         {40, {20, 20}, true},          {41, {20, 21, 0}, false},
        {45, {20, 25, 0}, false},    {46, {20, 26, 0}, false},      {55, {20, 35, 0}, false},
        {56, {20, 35, 1}, true},     {80, {20, 35, 25, 0}, false},  {90, {20, 35, 35, 0}, false},
        {91, {20, 35, 35, 1}, true}, {100, {20, 35, 35, 10}, true},
    };
    for (const Case& item : cases) {
        const auto plan = receipt::planLongReceiptPages(item.count);
        std::vector<std::size_t> rows;
        for (const auto& page : plan) {
            rows.push_back(page.rowCount);
        }
        EXPECT_EQ(rows, item.rows) << item.count;
        EXPECT_EQ(plan.back().rowCount > 0, item.closingWithRows) << item.count;
        ASSERT_TRUE(plan.back().closingTop.has_value()) << item.count;
        if (item.closingWithRows) {
            EXPECT_DOUBLE_EQ(*plan.back().closingTop, 747 - 20.0 * static_cast<double>(item.rows.back()));
        } else {
            EXPECT_FALSE(plan.back().tableHeader);
        }
    }
}

// ---- One-page receipt layout

std::vector<std::pair<double, double>> receiptBoxes(const receipt::ReceiptLayout& layout) {
    // (top, bottom) of every box below the items heading, top to bottom.
    std::vector<std::pair<double, double>> boxes;
    for (const double top : layout.itemTops) {
        boxes.emplace_back(top, top - 15);
        boxes.emplace_back(top - layout.detailDrop, top - layout.detailDrop - 15);
    }
    boxes.emplace_back(layout.itemsRule, layout.itemsRule);
    for (const double top : layout.totalsTops) {
        boxes.emplace_back(top, top - layout.rowHeight);
    }
    for (const double top : layout.paymentTops) {
        boxes.emplace_back(top, top - layout.rowHeight);
    }
    boxes.emplace_back(layout.closingRule, layout.closingRule);
    boxes.emplace_back(layout.thanksTop, layout.thanksTop - layout.thanksHeight);
    boxes.emplace_back(layout.policyTop, layout.policyTop - layout.policyHeight);
    boxes.emplace_back(layout.surveyTop, layout.surveyTop - layout.surveyHeight);
    return boxes;
}

TEST(ReceiptLayoutTest, EveryCountFitsTheOnePageWithoutOverlaps) {
    for (std::size_t count = 1; count <= receipt::kReceiptMaximumItems; ++count) {
        SCOPED_TRACE(count);
        const auto layout = receipt::planReceiptLayout(count);
        const auto boxes = receiptBoxes(layout);
        EXPECT_LE(boxes.front().first, receipt::kReceiptItemsTop);
        for (std::size_t index = 1; index < boxes.size(); ++index) {
            EXPECT_LE(boxes[index].first, boxes[index - 1].second) << "box " << index << " overlaps the one above";
        }
        EXPECT_GE(boxes.back().second, receipt::kReceiptBottomLimit - 1e-9);
        // Room for the texts: a 12 pt line, 14 pt headings, three 10 pt lines.
        EXPECT_GE(layout.thanksHeight, 18);
        EXPECT_GE(layout.policyHeight, 22);
        EXPECT_GE(layout.surveyHeight, 34);
    }
    EXPECT_THROW(receipt::planReceiptLayout(receipt::kReceiptMaximumItems + 1), std::invalid_argument);
}

TEST(ReceiptLayoutTest, TwoItemsKeepTheGenerousSpacing) {
    const auto layout = receipt::planReceiptLayout(2);
    EXPECT_EQ(layout.itemTops, (std::vector<double>{482, 437}));
    EXPECT_DOUBLE_EQ(layout.detailDrop, 20);
    EXPECT_DOUBLE_EQ(layout.itemsRule, 382);
    EXPECT_DOUBLE_EQ(layout.totalsTops[0], 362);
    EXPECT_DOUBLE_EQ(layout.paymentTops[0], 277);
    EXPECT_DOUBLE_EQ(layout.closingRule, 182);
    EXPECT_DOUBLE_EQ(layout.surveyTop - layout.surveyHeight, 42);
}

// ---- Documents read back

struct Money {
    static double parse(const std::string& text) {
        std::string digits;
        for (const char c : text) {
            if ((c >= '0' && c <= '9') || c == '.' || c == '-') {
                digits.push_back(c);
            }
        }
        return std::stod(digits);
    }
};

class StatementDocumentTest : public ::testing::Test {
protected:
    testing::WriterFixture world;

    fs::path write(const std::string& name, const std::vector<std::byte>& pdf) {
        return writePDFData(world.outputFolder / name, pdf, world.context());
    }

    static std::string layoutText(const fs::path& pdf) {
        return graphics_test::run("pdftotext -layout " + graphics_test::quoted(pdf) + " -").output;
    }

    static int pageCountOf(const fs::path& pdf) {
        const std::string info = graphics_test::infoOf(pdf);
        const auto at = info.find("Pages:");
        return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
    }

    // The first amount after `label` on its line.
    static double amountAfter(const std::string& text, const std::string& label) {
        const std::regex pattern(std::regex_replace(label, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
                                 R"(\s+(-?\$[\d,]+\.\d\d))");
        std::smatch match;
        if (!std::regex_search(text, match, pattern)) {
            ADD_FAILURE() << "no amount after " << label;
            return NAN;
        }
        return Money::parse(match[1]);
    }

    // qpdf passes, the page count is the plan's, every footer says "page k
    // of n" with that n, and every other word stands on the page above
    // `floor` (points from the bottom edge).
    static void expectPages(const fs::path& pdf, std::size_t planned, double floor,
                            const std::function<std::string(int, int)>& footer) {
        EXPECT_EQ(graphics_test::run("qpdf --check " + graphics_test::quoted(pdf)).exitCode, 0);
        const int pages = pageCountOf(pdf);
        EXPECT_EQ(pages, static_cast<int>(planned));
        const auto words = graphics_test::wordsOf(pdf);
        std::map<int, std::string> footers;
        for (const auto& word : words) {
            EXPECT_GE(word.xMin, 0) << word.text;
            EXPECT_LE(word.xMax, kPageWidth) << word.text;
            EXPECT_GE(word.yMin, 0) << word.text;
            if (word.yMin > kPageHeight - floor) {
                footers[word.page] += (footers[word.page].empty() ? "" : " ") + word.text;
            } else {
                EXPECT_LE(word.yMax, kPageHeight - floor) << word.text << " on page " << word.page + 1;
            }
        }
        if (footer) {
            for (int page = 0; page < pages; ++page) {
                EXPECT_EQ(footers[page], footer(page + 1, pages));
            }
        } else {
            EXPECT_TRUE(footers.empty());
        }
    }
};

TEST_F(StatementDocumentTest, LongReceiptsWithEdgeCountsCloseInsideThePage) {
    const std::size_t counts[] = {15, 20, 21, 25, 45, 46, 55, 80, 90, 100};
    const std::regex row(R"(^\s*(\d+)\s+.*?\s(\d+)\s+\$(\d+\.\d\d)\s+\$(\d+\.\d\d)\s*$)");
    for (const std::size_t count : counts) {
        SCOPED_TRACE(count);
        const auto data = receipt::buildLongReceiptData(world.context(), count);
        ASSERT_EQ(data.items.size(), count);
        const fs::path pdf =
            write("receipt_" + std::to_string(count) + ".pdf", receipt::renderLongReceipt(data, world.context()));
        const auto plan = receipt::planLongReceiptPages(count);
        expectPages(pdf, plan.size(), receipt::kLongFooterTop, [](int page, int pages) {
            return "Receipt - Page " + std::to_string(page) + " of " + std::to_string(pages);
        });

        const std::string text = layoutText(pdf);
        std::istringstream lines(text);
        std::string line;
        std::set<int> numbers;
        double linesTotal = 0;
        while (std::getline(lines, line)) {
            std::smatch match;
            if (std::regex_match(line, match, row)) {
                EXPECT_TRUE(numbers.insert(std::stoi(match[1])).second) << "row " << match[1] << " twice";
                const double quantity = std::stod(match[2]);
                EXPECT_NEAR(quantity * std::stod(match[3]), std::stod(match[4]), quantity * 0.005 + 0.0051);
                linesTotal += std::stod(match[4]);
            }
        }
        EXPECT_EQ(numbers.size(), count);
        EXPECT_EQ(*numbers.begin(), 1);
        EXPECT_EQ(*numbers.rbegin(), static_cast<int>(count));
        const double subtotal = amountAfter(text, "Subtotal:");
        const double total = amountAfter(text, "TOTAL:");
        EXPECT_NEAR(linesTotal, subtotal, 0.005 * static_cast<double>(count) + 0.0051);
        EXPECT_NEAR(subtotal + amountAfter(text, "Discount:") + amountAfter(text, "%):"), total, 0.0151);
        EXPECT_EQ(amountAfter(text, "Amount Paid:"), total);
        EXPECT_EQ(amountAfter(text, "Change:"), 0.0);
        EXPECT_NE(text.find("THANK YOU FOR YOUR PURCHASE!"), std::string::npos);
        EXPECT_NE(text.find("Enter code: " + data.transactionID.substr(2)), std::string::npos);
    }
}

TEST_F(StatementDocumentTest, OnePageReceiptsOfEveryCountFitThePage) {
    const std::regex detail(R"((\d+) × \$(\d+\.\d\d)\s+\$(\d+\.\d\d))");
    for (std::size_t count = 2; count <= 5; ++count) {
        SCOPED_TRACE(count);
        const auto data = receipt::buildReceiptData(world.context(), count);
        const fs::path pdf =
            write("receipt_" + std::to_string(count) + ".pdf", receipt::renderReceipt(data, world.context()));
        expectPages(pdf, 1, receipt::kReceiptBottomLimit, {});
        const std::string text = layoutText(pdf);
        double linesTotal = 0;
        int lines = 0;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), detail); it != std::sregex_iterator(); ++it) {
            ++lines;
            linesTotal += std::stod((*it)[3]);
        }
        EXPECT_EQ(lines, static_cast<int>(count));
        const double subtotal = amountAfter(text, "Subtotal:");
        const double total = amountAfter(text, "TOTAL:");
        EXPECT_NEAR(linesTotal, subtotal, 0.005 * static_cast<double>(count) + 0.0051);
        EXPECT_NEAR(subtotal + amountAfter(text, "Tax (8.75%):"), total, 0.0101);
        EXPECT_EQ(amountAfter(text, "Amount Paid:"), total);
        for (const char* closing :
             {"Thank you for your purchase!", "Store credit only on sale items.", "for a chance to win $100!"}) {
            EXPECT_NE(text.find(closing), std::string::npos) << closing;
        }
        EXPECT_NE(text.find("Enter code: " + data.transactionID.substr(3)), std::string::npos);
    }
}

TEST_F(StatementDocumentTest, LongInvoicesWithEdgeCountsCarryEveryRowAndAddUp) {
    const std::size_t counts[] = {3, 15, 16, 32, 33, 57, 58, 99};
    const std::regex row(R"(^\s*(\d+)\s+.*?\s(\d+)\s+\$([\d,]+\.\d\d)\s+\$([\d,]+\.\d\d)\s*$)");
    for (const std::size_t count : counts) {
        SCOPED_TRACE(count);
        const auto data = invoice::buildLongInvoiceData(world.context(), count);
        const fs::path pdf =
            write("invoice_" + std::to_string(count) + ".pdf", invoice::renderLongInvoice(data, world.context()));
        expectPages(pdf, invoice::planLongInvoicePages(count).size(), invoice::kLongInvoiceFooterTop,
                    [](int page, int pages) { return std::to_string(page) + " / " + std::to_string(pages); });
        const std::string text = layoutText(pdf);
        std::istringstream lines(text);
        std::string line;
        std::set<int> numbers;
        double linesTotal = 0;
        while (std::getline(lines, line)) {
            std::smatch match;
            if (std::regex_match(line, match, row)) {
                numbers.insert(std::stoi(match[1]));
                EXPECT_NEAR(std::stod(match[2]) * Money::parse(match[3]), Money::parse(match[4]), 0.0051);
                linesTotal += Money::parse(match[4]);
            }
        }
        EXPECT_EQ(numbers.size(), count);
        const double subtotal = amountAfter(text, "Subtotal:");
        EXPECT_NEAR(linesTotal, subtotal, 0.0051);
        EXPECT_NEAR(subtotal + amountAfter(text, "Sales Tax:") + amountAfter(text, "Shipping:") +
                        amountAfter(text, "(Discount):"),
                    amountAfter(text, "Total Amount Payable:"), 0.0051);
    }
}

TEST_F(StatementDocumentTest, OnePageInvoiceAddsUp) {
    const auto data = invoice::buildInvoiceData(world.context());
    ASSERT_GE(data.items.size(), 3u);
    ASSERT_LE(data.items.size(), 7u);
    const fs::path pdf = write("invoice.pdf", invoice::renderInvoice(data, world.context()));
    expectPages(pdf, 1, 40, {});
    const std::string text = layoutText(pdf);
    EXPECT_NEAR(amountAfter(text, "Subtotal:") - 2, amountAfter(text, "Total Amount Payable:"), 0.0051);
    EXPECT_NE(text.find("Purchase Order No.: " + data.purchaseOrderNumber), std::string::npos);
}

TEST_F(StatementDocumentTest, EveryPaymentMethodShowsWhole) {
    auto longData = receipt::buildLongReceiptData(world.context(), 15);
    auto data = receipt::buildReceiptData(world.context(), 5);
    for (std::size_t index = 0; index < receipt::texts::kPaymentMethods.size(); ++index) {
        const std::string method(receipt::texts::kPaymentMethods[index]);
        longData.paymentMethod = method;
        const fs::path pdf =
            write("long" + std::to_string(index) + ".pdf", receipt::renderLongReceipt(longData, world.context()));
        EXPECT_NE(layoutText(pdf).find("Payment Method:"), std::string::npos);
        EXPECT_NE(layoutText(pdf).find(method + "\n"), std::string::npos) << method;
        if (index < 5) {
            data.paymentMethod = method;
            const fs::path small =
                write("small" + std::to_string(index) + ".pdf", receipt::renderReceipt(data, world.context()));
            EXPECT_NE(layoutText(small).find(method + "\n"), std::string::npos) << method;
        }
    }
}

// ---- Data

TEST(StatementDataTest, DrawnCountsAndValuesStayInTheirRanges) {
    testing::WriterFixture world;
    const std::regex reference("(INV|ACC|PO)[1-9]\\d{5}");
    for (int run = 0; run < 40; ++run) {
        const auto small = invoice::buildInvoiceData(world.context());
        EXPECT_GE(small.items.size(), 3u);
        EXPECT_LE(small.items.size(), 7u);
        const auto large = invoice::buildLongInvoiceData(world.context());
        EXPECT_GE(large.items.size(), 3u);
        EXPECT_LE(large.items.size(), 99u);
        for (const auto* data : {&small, &large}) {
            EXPECT_TRUE(std::regex_match(data->invoiceNumber, reference));
            for (const auto& item : data->items) {
                EXPECT_GE(item.quantity, 1);
                EXPECT_LE(item.quantity, 99);
                EXPECT_GE(item.unitPrice, 1.0);
                EXPECT_LE(item.unitPrice, 99.99);
            }
        }
        const auto receipt = receipt::buildReceiptData(world.context());
        EXPECT_GE(receipt.items.size(), 2u);
        EXPECT_LE(receipt.items.size(), 5u);
        EXPECT_TRUE(std::regex_match(receipt.transactionID, std::regex("TXN[1-9]\\d{5}")));
        EXPECT_GE(receipt.registerNumber, 1);
        EXPECT_LE(receipt.registerNumber, 19);
        const auto longReceipt = receipt::buildLongReceiptData(world.context());
        EXPECT_GE(longReceipt.items.size(), 15u);
        EXPECT_LE(longReceipt.items.size(), 100u);
        EXPECT_TRUE(std::regex_match(longReceipt.transactionID, std::regex("TXN[1-9]\\d{6}")));
        EXPECT_GE(longReceipt.taxRate, 0.05);
        EXPECT_LE(longReceipt.taxRate, 0.12);
        EXPECT_GE(longReceipt.discountRate, 0.0);
        EXPECT_LE(longReceipt.discountRate, 0.15);
        for (const auto& item : longReceipt.items) {
            EXPECT_GE(item.quantity, 1);
            EXPECT_LE(item.quantity, 10);
            EXPECT_GE(item.unitPrice, 0.99);
            EXPECT_LE(item.unitPrice, 199.99);
        }
    }
}

TEST(StatementDataTest, TheSameSeedAndClockGiveTheSameDocument) {
    using Render = std::vector<std::byte> (*)(const GenerationContext&);
    const Render renders[] = {
        [](const GenerationContext& c) { return invoice::renderInvoice(invoice::buildInvoiceData(c), c); },
        [](const GenerationContext& c) { return invoice::renderLongInvoice(invoice::buildLongInvoiceData(c), c); },
        [](const GenerationContext& c) { return receipt::renderReceipt(receipt::buildReceiptData(c), c); },
        [](const GenerationContext& c) { return receipt::renderLongReceipt(receipt::buildLongReceiptData(c), c); },
    };
    for (const Render render : renders) {
        testing::WriterFixture first;
        testing::WriterFixture second;
        EXPECT_EQ(render(first.context()), render(second.context()));
    }
}

// ---- What the writers log

TEST_F(StatementDocumentTest, BothInvoicesLogWhereTheyWrote) {
    const DocumentGenerator generators[] = {&InvoicePDFGenerator::generate, &LongInvoicePDFGenerator::generate};
    for (const DocumentGenerator generate : generators) {
        world.log.drain();
        const fs::path written = generate(world.outputFolder / "invoice.pdf", ContentSize::small, world.context());
        EXPECT_EQ(world.log.drainLines(), std::vector<std::string>{"PDF invoice generated at " + written.string()});
    }
}

// ---- Failures

TEST_F(StatementDocumentTest, FailuresAreThrownAndLeaveNoFile) {
    const DocumentGenerator generators[] = {&InvoicePDFGenerator::generate, &LongInvoicePDFGenerator::generate,
                                            &ReceiptPDFGenerator::generate, &LongReceiptPDFGenerator::generate};
    const fs::path blocked = world.root.path() / "a-file";
    testing::writeFile(blocked, "not a folder");
    platform::CancellationToken cancel;
    cancel.cancel();
    for (const DocumentGenerator generate : generators) {
        EXPECT_THROW(generate(blocked / "statement.pdf", ContentSize::small, world.context()), platform::Error);
        EXPECT_THROW(generate(world.outputFolder / "statement.pdf", ContentSize::small, world.context(&cancel)),
                     platform::Error);
    }
    EXPECT_EQ(world.outputCount(), 0u);
}

}  // namespace
}  // namespace stubforge
