#include "Documents.h"
#include "Invoices.h"

#include "DocumentText.h"
#include "StatementPage.h"

#include "stubforge/pdf/DocumentSupport.h"

#include "stubforge/core/FakeData.h"

#include "platform/Format.h"
#include "platform/Log.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"

#include <array>
#include <charconv>
#include <string>

namespace stubforge {

namespace fs = std::filesystem;
namespace graphics = platform::graphics;

namespace invoice {

namespace {

using statement_page::kContentWidth;
using statement_page::kMargin;
constexpr double kColumnWidth = kContentWidth * 0.5;
constexpr double kRightColumnX = kMargin + kColumnWidth;

// The four table columns: starts and widths (40/20/20/20 % of the content).
constexpr std::array<double, 4> kColumnX{50, 248, 347, 446};
constexpr std::array<double, 4> kColumnWidths{198, 99, 99, 99};
constexpr double kTableRight = 545;
constexpr double kBandBottom = 512;
constexpr double kBandHeight = 30;

constexpr double kTotalsLabelX = 245;
constexpr double kTotalsValueX = 395;
constexpr double kTotalsWidth = 150;
constexpr double kTotalsRowHeight = 20;
constexpr double kPaymentTermsHeight = 150;

const graphics::Stroke kBlackLine{graphics::colors::black, 1};

std::string referenceNumber(std::string_view prefix, sham::Faker& faker) {
    return joined({prefix, std::to_string(faker.number().randomInt(100000, 999999))});
}

Addressee buildAddressee(sham::Faker& faker) {
    Addressee person;
    person.firstName = faker.name().firstName();
    person.lastName = faker.name().lastName();
    person.streetAddress = faker.address().streetAddress(false);
    person.city = faker.address().city();
    person.stateAbbreviation = faker.address().stateAbbreviation();
    return person;
}

void drawAddress(graphics::Canvas& canvas, double x, std::string_view heading, const Addressee& person,
                 const InvoiceStyles& styles) {
    graphics::AttributedText text(heading, styles.addressHeading);
    text.append(joined({person.firstName, " ", person.lastName, texts::kAttention, person.streetAddress, "\n",
                        person.city, ", ", person.stateAbbreviation}),
                styles.addressText);
    canvas.drawText(text, graphics::Rect{x, 562, kColumnWidth, 100});
}

void drawTable(graphics::Canvas& canvas, const InvoiceData& data, const InvoiceStyles& styles) {
    const std::array<std::string_view, 4> headings{texts::kDescription, texts::kQuantity, texts::kUnitPrice,
                                                   texts::kTotal};
    canvas.fillRect(graphics::Rect{kMargin, kBandBottom, kContentWidth, kBandHeight}, graphics::colors::lightGray);
    for (std::size_t column = 0; column < headings.size(); ++column) {
        canvas.drawText(
            graphics::AttributedText(headings[column], column == 0 ? styles.leftHeading : styles.rightHeading),
            graphics::Rect{kColumnX[column] + 5, kBandBottom + 5, kColumnWidths[column] - 10, 20});
    }
    canvas.strokeRect(graphics::Rect{kMargin, kBandBottom, kContentWidth, kBandHeight}, kBlackLine);
    const auto verticals = [&](double top, double bottom) {
        for (const double x : kColumnX) {
            canvas.strokeLine({x, top}, {x, bottom}, kBlackLine);
        }
        canvas.strokeLine({kTableRight, top}, {kTableRight, bottom}, kBlackLine);
    };
    verticals(kBandBottom + kBandHeight, kBandBottom);

    double bottom = kBandBottom;
    for (const LineItem& item : data.items) {
        bottom -= kRowHeight;
        canvas.fillRect(graphics::Rect{kMargin, bottom, kContentWidth, kRowHeight}, graphics::colors::white);
        const std::array<graphics::AttributedText, 4> cells{
            graphics::AttributedText(item.description, styles.seller),
            graphics::AttributedText(std::to_string(item.quantity), styles.information),
            graphics::AttributedText(rowMoney(item.unitPrice), styles.information),
            graphics::AttributedText(rowMoney(item.total()), styles.information),
        };
        for (std::size_t column = 0; column < cells.size(); ++column) {
            canvas.drawText(cells[column],
                            graphics::Rect{kColumnX[column] + 5, bottom + 5, kColumnWidths[column] - 10, 15});
        }
        canvas.strokeLine({kMargin, bottom}, {kTableRight, bottom}, kBlackLine);
        verticals(bottom + kRowHeight, bottom);
    }
}

}  // namespace

// ---- Data

double subtotalOf(std::span<const LineItem> items) {
    double subtotal = 0;
    for (const LineItem& item : items) {
        subtotal += item.total();
    }
    return subtotal;
}

double totalPayableOf(double subtotal) { return subtotal + kSalesTaxAmount + kShippingAmount + kDiscountAmount; }

void buildReferences(sham::Faker& faker, const GenerationContext& context, InvoiceData& data) {
    data.invoiceNumber = referenceNumber(texts::kInvoicePrefix, faker);
    data.accountNumber = referenceNumber(texts::kAccountPrefix, faker);
    data.purchaseOrderNumber = referenceNumber(texts::kPurchaseOrderPrefix, faker);
    data.dateText = platform::format::date(context.clock().now(), platform::format::DateStyle::medium);
}

void buildParties(sham::Faker& faker, InvoiceData& data) {
    data.seller.companyName = faker.company().name();
    data.seller.streetAddress = faker.address().streetAddress(false);
    data.seller.city = faker.address().city();
    data.seller.stateAbbreviation = faker.address().stateAbbreviation();
    data.seller.postcode = faker.address().postcode("");
    data.billing = buildAddressee(faker);
    data.delivery = buildAddressee(faker);
}

LineItem buildLineItem(sham::Faker& faker) {
    LineItem item;
    item.description = faker.commerce().productName();
    item.quantity = faker.number().randomInt(1, 100);
    item.unitPrice = static_cast<double>(faker.number().randomInt(100, 10000)) / 100.0;
    return item;
}

InvoiceData buildInvoiceData(const GenerationContext& context) {
    sham::Faker faker = makeFaker(context);
    InvoiceData data;
    buildReferences(faker, context, data);
    buildParties(faker, data);
    const std::int64_t count = faker.number().randomInt(3, 8);
    for (std::int64_t index = 0; index < count; ++index) {
        data.items.push_back(buildLineItem(faker));
    }
    return data;
}

// ---- Shared pieces

InvoiceStyles makeInvoiceStyles() {
    const graphics::Font body = graphics::Font::system(12);
    const graphics::Font bodyBold = body.asBold();
    InvoiceStyles styles;
    styles.seller = textStyle(body, graphics::Alignment::left);
    styles.information = textStyle(body, graphics::Alignment::right);
    styles.leftHeading = textStyle(bodyBold, graphics::Alignment::left);
    styles.rightHeading = textStyle(bodyBold, graphics::Alignment::right);
    styles.title = textStyle(graphics::Font::boldSystem(24), graphics::Alignment::right);
    styles.addressHeading = textStyle(graphics::Font::boldSystem(14), graphics::Alignment::left);
    styles.addressText = textStyle(graphics::Font::system(14), graphics::Alignment::left);
    return styles;
}

std::string rowMoney(double value) {
    std::string text = platform::format::currency(value);
    if (text.empty()) {
        char buffer[64];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        text.assign(buffer, result.ptr);
    }
    return text;
}

std::string totalsMoney(double value) { return platform::format::currency(value); }

void drawHeaderBlocks(graphics::Canvas& canvas, const InvoiceData& data, const InvoiceStyles& styles) {
    const Seller& seller = data.seller;
    canvas.drawText(graphics::AttributedText(seller.companyName + "\n" + seller.streetAddress + "\n" + seller.city +
                                                 ", " + seller.stateAbbreviation + " " + seller.postcode,
                                             styles.seller),
                    graphics::Rect{kMargin, 732, kColumnWidth, 60});
    canvas.drawText(graphics::AttributedText(texts::kTitle, styles.title),
                    graphics::Rect{kRightColumnX, 762, kColumnWidth, 30});
    canvas.drawText(graphics::AttributedText("Date: " + data.dateText + "\nInvoice Number: " + data.invoiceNumber +
                                                 "\nAccount No.: " + data.accountNumber +
                                                 "\nPurchase Order No.: " + data.purchaseOrderNumber,
                                             styles.information),
                    graphics::Rect{kRightColumnX, 672, kColumnWidth, 90});
    drawAddress(canvas, kMargin, texts::kBillingHeading, data.billing, styles);
    drawAddress(canvas, kRightColumnX, texts::kDeliveryHeading, data.delivery, styles);
}

void drawTotals(graphics::Canvas& canvas, double subtotal, double firstRowBottom, const InvoiceStyles& styles) {
    struct Row {
        std::string_view label;
        double value;
    };
    const std::array<Row, 5> rows{{
        {texts::kSubtotal, subtotal},
        {texts::kSalesTax, kSalesTaxAmount},
        {texts::kShipping, kShippingAmount},
        {texts::kDiscount, kDiscountAmount},
        {texts::kTotalPayable, totalPayableOf(subtotal)},
    }};
    double bottom = firstRowBottom;
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const graphics::TextStyle& style = index + 1 == rows.size() ? styles.rightHeading : styles.information;
        canvas.drawText(graphics::AttributedText(rows[index].label, style),
                        graphics::Rect{kTotalsLabelX, bottom, kTotalsWidth, kTotalsRowHeight});
        canvas.drawText(graphics::AttributedText(totalsMoney(rows[index].value), style),
                        graphics::Rect{kTotalsValueX, bottom, kTotalsWidth, kTotalsRowHeight});
        bottom -= kTotalsRowHeight;
    }
}

void drawPaymentTerms(graphics::Canvas& canvas, double bottom, const InvoiceStyles& styles) {
    canvas.drawText(graphics::AttributedText(texts::kPaymentTerms, styles.seller),
                    graphics::Rect{kMargin, bottom, kContentWidth, kPaymentTermsHeight});
}

// ---- The one-page invoice

std::vector<std::byte> renderInvoice(const InvoiceData& data, const GenerationContext& context) {
    const InvoiceStyles styles = makeInvoiceStyles();
    return statement_page::renderOnePage(context, [&](graphics::Canvas& canvas) {
        drawHeaderBlocks(canvas, data, styles);
        drawTable(canvas, data, styles);
        const double lastRowBottom = kBandBottom - kRowHeight * static_cast<double>(data.items.size());
        drawTotals(canvas, subtotalOf(data.items), lastRowBottom - 40, styles);
        drawPaymentTerms(canvas, lastRowBottom - 290, styles);
    });
}

}  // namespace invoice

fs::path InvoicePDFGenerator::generate(const fs::path& destination, ContentSize, const GenerationContext& context) {
    const invoice::InvoiceData data = invoice::buildInvoiceData(context);
    const fs::path written = writePDFData(destination, invoice::renderInvoice(data, context), context);
    context.log().log("org.stubforge.pdf", "InvoicePDFGenerator", platform::LogType::info,
                      std::string(invoice::texts::kWrittenLine) + written.string());
    return written;
}

}  // namespace stubforge
