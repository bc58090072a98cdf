#include "Documents.h"
#include "Receipts.h"

#include "DocumentText.h"
#include "StatementPage.h"

#include "stubforge/pdf/DocumentSupport.h"

#include "stubforge/core/FakeData.h"

#include "platform/Format.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace stubforge {

namespace fs = std::filesystem;
namespace graphics = platform::graphics;

namespace receipt {

namespace {

using statement_page::kContentWidth;
using statement_page::kMargin;
using statement_page::kRight;
constexpr double kContinuationTableTop = kLongTopLine - kLongTableHeaderHeight;
constexpr double kFirstPageTableTop = kLongFirstPageTableTop - kLongTableHeaderHeight;

struct Column {
    std::string_view heading;
    double fraction;
    graphics::Alignment alignment;  // of the heading and the cells alike
};

constexpr std::array<Column, 5> kColumns{{
    {"No.", 0.08, graphics::Alignment::center},
    {"Description", 0.45, graphics::Alignment::left},
    {"Qty", 0.12, graphics::Alignment::center},
    {"Unit Price", 0.17, graphics::Alignment::right},
    {"Total", 0.18, graphics::Alignment::right},
}};

struct Styles {
    graphics::TextStyle store;
    graphics::TextStyle address;
    graphics::TextStyle smallCentred;
    graphics::TextStyle label;
    graphics::TextStyle value;
    graphics::TextStyle heading;
    graphics::TextStyle totalsLabel;
    graphics::TextStyle totalsValue;
    graphics::TextStyle totalLabel;  // the "TOTAL:" row
    graphics::TextStyle totalValue;
    std::array<graphics::TextStyle, 5> columnHeadings;
    std::array<graphics::TextStyle, 5> cells;
};

Styles makeStyles() {
    const graphics::Font regular11 = graphics::Font::system(11);
    const graphics::Font bold14 = graphics::Font::boldSystem(14);
    Styles styles;
    styles.store = textStyle(graphics::Font::boldSystem(20), graphics::Alignment::center);
    styles.address = textStyle(regular11, graphics::Alignment::center);
    styles.smallCentred = textStyle(graphics::Font::system(9), graphics::Alignment::center);
    styles.label = textStyle(regular11);
    styles.value = textStyle(regular11, graphics::Alignment::right);
    styles.heading = textStyle(bold14, graphics::Alignment::center);
    styles.totalsLabel = styles.label;
    styles.totalsValue = styles.value;
    styles.totalLabel = textStyle(bold14);
    styles.totalValue = textStyle(bold14, graphics::Alignment::right);
    for (std::size_t index = 0; index < kColumns.size(); ++index) {
        styles.columnHeadings[index] = textStyle(regular11.asBold(), kColumns[index].alignment);
        styles.cells[index] = textStyle(regular11, kColumns[index].alignment);
    }
    return styles;
}

struct ColumnBox {
    double x;
    double width;
};

std::array<ColumnBox, 5> columnBoxes() {
    std::array<ColumnBox, 5> boxes{};
    double x = kMargin;
    for (std::size_t index = 0; index < kColumns.size(); ++index) {
        boxes[index] = {x, kContentWidth * kColumns[index].fraction};
        x += boxes[index].width;
    }
    return boxes;
}

graphics::AttributedText text(std::string_view string, const graphics::TextStyle& style) {
    return graphics::AttributedText(string, style);
}

void line(graphics::Canvas& canvas, double y, double width) {
    canvas.strokeLine({kMargin, y}, {kRight, y}, graphics::Stroke{graphics::colors::black, width});
}

void drawHeader(graphics::Canvas& canvas, const LongReceiptData& data, const Styles& styles) {
    double y = kLongTopLine;
    canvas.drawText(text(data.storeName, styles.store), graphics::Rect{kMargin, y - 25, kContentWidth, 25});
    y -= 35;
    canvas.drawText(text(data.address, styles.address), graphics::Rect{kMargin, y - 35, kContentWidth, 35});
    y -= 45;
    canvas.drawText(text("Phone: " + data.phone + " | Email: " + data.email, styles.smallCentred),
                    graphics::Rect{kMargin, y - 15, kContentWidth, 15});
    line(canvas, y - 25, 1.5);
    const std::array<std::pair<std::string_view, std::string>, 5> details{{
        {texts::kDateTime, data.dateText},
        {texts::kTransactionID, data.transactionID},
        {texts::kRegister, joined({"#", std::to_string(data.registerNumber)})},
        {texts::kCashier, data.cashier},
        {texts::kCustomerNumber, std::to_string(data.customerNumber)},
    }};
    double rowBottom = y - 55;
    for (const auto& [label, value] : details) {
        canvas.drawText(text(label, styles.label), graphics::Rect{kMargin, rowBottom, kContentWidth * 0.4, 15});
        canvas.drawText(text(value, styles.value),
                        graphics::Rect{kMargin + kContentWidth * 0.4, rowBottom, kContentWidth * 0.6, 15});
        rowBottom -= 18;
    }
    line(canvas, kLongFirstPageTableTop + 15, 1);
}

// The column header band under `top`.
void drawTableHeader(graphics::Canvas& canvas, double top, const Styles& styles) {
    const graphics::Rect band{kMargin, top - kLongTableHeaderHeight, kContentWidth, kLongTableHeaderHeight};
    canvas.fillRect(band, graphics::Color::gray(0.9));
    const auto boxes = columnBoxes();
    for (std::size_t index = 0; index < kColumns.size(); ++index) {
        canvas.drawText(text(kColumns[index].heading, styles.columnHeadings[index]),
                        graphics::Rect{boxes[index].x, top - 20, boxes[index].width, 20});
    }
    canvas.strokeRect(band, graphics::Stroke{graphics::colors::black, 1});
}

void drawRow(graphics::Canvas& canvas, const LongReceiptItem& item, double bottom, const Styles& styles) {
    const auto boxes = columnBoxes();
    const std::array<std::string, 5> cells{std::to_string(item.number), item.name, std::to_string(item.quantity),
                                           dollars(item.unitPrice), dollars(item.total)};
    for (std::size_t index = 0; index < cells.size(); ++index) {
        canvas.drawText(text(cells[index], styles.cells[index]),
                        graphics::Rect{boxes[index].x, bottom + 3, boxes[index].width, 17});
    }
    canvas.strokeRect(graphics::Rect{kMargin, bottom, kContentWidth, kLongRowHeight},
                      graphics::Stroke{graphics::Color::gray(0.7), 0.5});
}

void drawClosingBlock(graphics::Canvas& canvas, const LongReceiptData& data, double top, const Styles& styles) {
    line(canvas, top, 1.5);
    const std::array<std::pair<std::string, std::string>, 4> totals{{
        {std::string(texts::kSubtotal), dollars(data.subtotal)},
        {std::string(texts::kDiscount), joined({"-", dollars(data.discount)})},
        {joined({"Tax (", fixedDecimals(data.taxRate * 100, 1), "%):"}), dollars(data.tax)},
        {std::string(texts::kTotal), dollars(data.total)},
    }};
    double rowBottom = top - 38;
    for (const auto& [label, value] : totals) {
        const bool total = label.find("TOTAL") != std::string::npos;
        canvas.drawText(text(label, total ? styles.totalLabel : styles.totalsLabel),
                        graphics::Rect{kMargin + kContentWidth * 0.5, rowBottom, kContentWidth * 0.3, 18});
        canvas.drawText(text(value, total ? styles.totalValue : styles.totalsValue),
                        graphics::Rect{kMargin + kContentWidth * 0.8, rowBottom, kContentWidth * 0.2, 18});
        rowBottom -= 22;
    }
    canvas.drawText(text(texts::kPaymentInformation, styles.heading),
                    graphics::Rect{kMargin, top - 141, kContentWidth, 18});
    const std::array<std::pair<std::string_view, std::string>, 3> payment{{
        {texts::kPaymentMethod, data.paymentMethod},
        {texts::kAmountPaid, dollars(data.total)},
        {texts::kChange, "$0.00"},
    }};
    rowBottom = top - 163;
    for (const auto& [label, value] : payment) {
        canvas.drawText(text(label, styles.label),
                        graphics::Rect{kMargin + kContentWidth * 0.3, rowBottom, kContentWidth * 0.4, 15});
        // Wider to the left than its column, so that "AMERICAN EXPRESS ****9012"
        // stays on its one line; right-aligned, it ends where the column does.
        canvas.drawText(text(value, styles.value),
                        graphics::Rect{kMargin + kContentWidth * 0.5, rowBottom, kContentWidth * 0.5, 15});
        rowBottom -= 18;
    }
    canvas.drawText(text(texts::kLongThankYou, styles.heading), graphics::Rect{kMargin, top - 240, kContentWidth, 18});
    canvas.drawText(text(texts::kLongReturnPolicy, styles.smallCentred),
                    graphics::Rect{kMargin, top - 277, kContentWidth, 30});
    std::string storePart;
    for (const char character : data.storeName) {
        if (character != ' ') {
            storePart.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(character))));
        }
    }
    const std::string code = data.transactionID.substr(data.transactionID.size() - 8);
    canvas.drawText(text(joined({"Customer Survey: Visit ", texts::kFeedbackSite, storePart, "\nEnter code: ", code,
                                 " to receive 10% off your next purchase!"}),
                         styles.smallCentred),
                    graphics::Rect{kMargin, top - kLongClosingBlockDepth, kContentWidth, 30});
}

bool closingFitsBelow(double lastRowBottom) {
    return lastRowBottom - kLongRowHeight - kLongClosingBlockDepth >= kLongFooterTop;
}

}  // namespace

// ---- Data

LongReceiptData buildLongReceiptData(const GenerationContext& context) { return buildLongReceiptData(context, 0); }

// A count of 0 draws it, as the document does; tests pass their own.
LongReceiptData buildLongReceiptData(const GenerationContext& context, std::size_t itemCount) {
    sham::Faker faker = makeFaker(context);
    platform::RandomSource& random = context.random();
    LongReceiptData data;
    data.storeName = faker.company().name();
    data.address = fakeMailingAddress(faker);
    data.phone = faker.phoneNumber().phoneNumber();
    data.email = faker.internet().email();
    data.transactionID = joined({"TXN", std::to_string(faker.number().randomInt(1000000, 9999999))});
    data.registerNumber = faker.number().randomInt(1, 50);
    data.cashier = faker.name().name();
    data.customerNumber = faker.number().randomInt(100000, 999999);
    data.dateText = platform::format::date(context.clock().now(), platform::format::DateStyle::medium,
                                           platform::format::DateStyle::shortStyle);
    data.paymentMethod = texts::kPaymentMethods[randomIntBelow(random, texts::kPaymentMethods.size())];
    const std::size_t count = itemCount != 0 ? itemCount : static_cast<std::size_t>(15 + randomIntBelow(random, 86));
    for (std::size_t index = 0; index < count; ++index) {
        LongReceiptItem item;
        item.number = static_cast<std::int64_t>(index) + 1;
        item.name = faker.commerce().productName();
        item.quantity = static_cast<std::int64_t>(randomIntBelow(random, 10)) + 1;
        item.unitPrice = randomDoubleInClosedRange(random, 0.99, 199.99);
        item.total = item.unitPrice * static_cast<double>(item.quantity);
        data.subtotal += item.total;
        data.items.push_back(std::move(item));
    }
    data.taxRate = randomDoubleInClosedRange(random, 0.05, 0.12);
    data.discountRate = randomDoubleInClosedRange(random, 0, 0.15);
    data.tax = data.subtotal * data.taxRate;
    data.discount = data.subtotal * data.discountRate;
    data.total = data.subtotal + data.tax - data.discount;
    return data;
}

// ---- Pages

std::vector<LongReceiptPage> planLongReceiptPages(std::size_t itemCount) {
    std::vector<LongReceiptPage> pages;
    std::size_t drawn = 0;
    bool closed = false;
    const auto place = [&](LongReceiptPage page, double tableTop) {
        drawn += page.rowCount;
        const double lastRowBottom = tableTop - kLongRowHeight * static_cast<double>(page.rowCount);
        if (drawn == itemCount && closingFitsBelow(lastRowBottom)) {
            page.closingTop = lastRowBottom - kLongRowHeight;
            closed = true;
        }
        pages.push_back(page);
    };
    place({0, std::min(itemCount, kLongFirstPageRows), true, true, std::nullopt}, kFirstPageTableTop);
    while (drawn < itemCount) {
        const std::size_t left = itemCount - drawn;
        const std::size_t rows = left <= kLongClosingPageRows ? left : std::min(left, kLongFullPageRows);
        place({drawn, rows, false, true, std::nullopt}, kContinuationTableTop);
    }
    if (!closed) {
        pages.push_back({itemCount, 0, false, false, kLongTopLine});
    }
    return pages;
}

// ---- Rendering

std::vector<std::byte> renderLongReceipt(const LongReceiptData& data, const GenerationContext& context) {
    const Styles styles = makeStyles();
    const std::vector<LongReceiptPage> plan = planLongReceiptPages(data.items.size());
    return statement_page::renderPages(context, plan.size(), [&](graphics::Canvas& canvas, std::size_t pageIndex) {
        const LongReceiptPage& page = plan[pageIndex];
        double y = kLongTopLine;
        if (page.storeHeader) {
            drawHeader(canvas, data, styles);
            y = kLongFirstPageTableTop;
        }
        if (page.tableHeader) {
            drawTableHeader(canvas, y, styles);
            y -= kLongTableHeaderHeight;
        }
        for (std::size_t row = page.firstRow; row < page.firstRow + page.rowCount; ++row) {
            y -= kLongRowHeight;
            drawRow(canvas, data.items[row], y, styles);
        }
        if (page.closingTop) {
            drawClosingBlock(canvas, data, *page.closingTop, styles);
        }
        canvas.drawText(text(joined({texts::kPagePrefix, std::to_string(pageIndex + 1), texts::kPageOf,
                                     std::to_string(plan.size())}),
                             styles.smallCentred),
                        graphics::Rect{kMargin, 20, kContentWidth, 15});
    });
}

}  // namespace receipt

fs::path LongReceiptPDFGenerator::generate(const fs::path& destination, ContentSize, const GenerationContext& context) {
    const receipt::LongReceiptData data = receipt::buildLongReceiptData(context);
    return writePDFData(destination, receipt::renderLongReceipt(data, context), context);
}

}  // namespace stubforge
