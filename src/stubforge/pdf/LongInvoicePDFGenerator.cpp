#include "Documents.h"
#include "Invoices.h"

#include "DocumentText.h"
#include "StatementPage.h"

#include "stubforge/pdf/DocumentSupport.h"

#include "stubforge/core/FakeData.h"

#include "platform/Log.h"
#include "platform/graphics/Color.h"

#include <algorithm>
#include <array>
#include <string>

namespace stubforge {

namespace fs = std::filesystem;
namespace graphics = platform::graphics;

namespace invoice {

namespace {

using statement_page::kContentWidth;
using statement_page::kMargin;
constexpr double kTableRight = statement_page::kRight;

struct Column {
    std::string_view heading;
    double width;
    bool leftAligned;  // the description; every other column is right-aligned
};

constexpr std::array<Column, 5> kColumns{{
    {texts::kNumber, kContentWidth * 0.1, false},
    {texts::kDescription, kContentWidth * 0.35, true},
    {texts::kQuantity, kContentWidth * 0.15, false},
    {texts::kUnitPrice, kContentWidth * 0.2, false},
    {texts::kTotal, kContentWidth * 0.2, false},
}};

constexpr std::array<double, 5> columnStarts() {
    std::array<double, 5> starts{};
    double x = kMargin;
    for (std::size_t index = 0; index < kColumns.size(); ++index) {
        starts[index] = x;
        x += kColumns[index].width;
    }
    return starts;
}

constexpr std::array<double, 5> kColumnX = columnStarts();

const graphics::Stroke kBlackLine{graphics::colors::black, 1};

// The heading band whose top is at `top`.
void drawBand(graphics::Canvas& canvas, double top, const InvoiceStyles& styles) {
    const graphics::Rect band{kMargin, top - kBandHeight, kContentWidth, kBandHeight};
    canvas.fillRect(band, graphics::colors::lightGray);
    for (std::size_t index = 0; index < kColumns.size(); ++index) {
        const Column& column = kColumns[index];
        canvas.drawText(
            graphics::AttributedText(column.heading, column.leftAligned ? styles.leftHeading : styles.rightHeading),
            graphics::Rect{kColumnX[index] + 5, top - 25, column.width - 10, 20});
    }
    canvas.strokeRect(band, kBlackLine);
    for (const double x : kColumnX) {
        canvas.strokeLine({x, top}, {x, top - kBandHeight}, kBlackLine);
    }
    canvas.strokeLine({kTableRight, top}, {kTableRight, top - kBandHeight}, kBlackLine);
}

void drawRow(graphics::Canvas& canvas, std::size_t number, const LineItem& item, double bottom,
             const InvoiceStyles& styles) {
    canvas.fillRect(graphics::Rect{kMargin, bottom, kContentWidth, kRowHeight}, graphics::colors::white);
    const std::array<std::string, 5> cells{std::to_string(number), item.description, std::to_string(item.quantity),
                                           rowMoney(item.unitPrice), rowMoney(item.total())};
    for (std::size_t index = 0; index < kColumns.size(); ++index) {
        canvas.drawText(
            graphics::AttributedText(cells[index], kColumns[index].leftAligned ? styles.seller : styles.information),
            graphics::Rect{kColumnX[index] + 5, bottom + 5, kColumns[index].width - 10, 15});
    }
    canvas.strokeLine({kMargin, bottom}, {kTableRight, bottom}, kBlackLine);
}

}  // namespace

InvoiceData buildLongInvoiceData(const GenerationContext& context) { return buildLongInvoiceData(context, 0); }

// A count of 0 draws it, as the document does; tests pass their own.
InvoiceData buildLongInvoiceData(const GenerationContext& context, std::size_t itemCount) {
    sham::Faker faker = makeFaker(context);
    InvoiceData data;
    buildReferences(faker, context, data);
    const std::size_t count = itemCount != 0 ? itemCount : static_cast<std::size_t>(faker.number().randomInt(3, 100));
    for (std::size_t index = 0; index < count; ++index) {
        data.items.push_back(buildLineItem(faker));
    }
    buildParties(faker, data);
    return data;
}

std::vector<LongInvoicePage> planLongInvoicePages(std::size_t itemCount) {
    std::vector<LongInvoicePage> pages;
    std::size_t drawn = std::min(itemCount, kFirstPageRows);
    pages.push_back({0, drawn, true, false});
    while (drawn + kLastPageRows < itemCount) {
        const std::size_t rows = std::min(itemCount - drawn, kContinuationPageRows);
        pages.push_back({drawn, rows, false, false});
        drawn += rows;
    }
    pages.push_back({drawn, itemCount - drawn, false, true});
    return pages;
}

std::vector<std::byte> renderLongInvoice(const InvoiceData& data, const GenerationContext& context) {
    const InvoiceStyles styles = makeInvoiceStyles();
    const std::vector<LongInvoicePage> plan = planLongInvoicePages(data.items.size());
    const double subtotal = subtotalOf(data.items);
    return statement_page::renderPages(context, plan.size(), [&](graphics::Canvas& canvas, std::size_t pageIndex) {
        const LongInvoicePage& page = plan[pageIndex];
        if (page.headerBlocks) {
            drawHeaderBlocks(canvas, data, styles);
        }
        const double bandTop = page.headerBlocks ? kFirstPageBandTop : kPageBandTop;
        drawBand(canvas, bandTop, styles);
        double bottom = bandTop - kBandHeight;
        for (std::size_t row = page.firstRow; row < page.firstRow + page.rowCount; ++row) {
            bottom -= kRowHeight;
            drawRow(canvas, row + 1, data.items[row], bottom, styles);
        }
        if (page.totals) {
            drawTotals(canvas, subtotal, bottom - 20, styles);
            drawPaymentTerms(canvas, bottom - kLongInvoiceClosingDepth, styles);
        }
        canvas.drawText(graphics::AttributedText(pageOfPages(pageIndex + 1, plan.size()), styles.information),
                        graphics::Rect{kMargin, 25, kContentWidth, 30});
    });
}

}  // namespace invoice

fs::path LongInvoicePDFGenerator::generate(const fs::path& destination, ContentSize, const GenerationContext& context) {
    const invoice::InvoiceData data = invoice::buildLongInvoiceData(context);
    const fs::path written = writePDFData(destination, invoice::renderLongInvoice(data, context), context);
    context.log().log("org.stubforge.pdf", "LongInvoicePDFGenerator", platform::LogType::info,
                      std::string(invoice::texts::kWrittenLine) + written.string());
    return written;
}

}  // namespace stubforge
