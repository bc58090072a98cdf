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
#include <stdexcept>
#include <string>

namespace stubforge {

namespace fs = std::filesystem;
namespace graphics = platform::graphics;

namespace receipt {

namespace {

using statement_page::kContentWidth;
using statement_page::kMargin;
using statement_page::kRight;
constexpr double kLabelWidth = kContentWidth * 0.4;
constexpr double kValueWidth = kContentWidth * 0.6;

// One vertical distance of the part below the header: the generous one
// and the least that keeps its lines apart.
struct Spacing {
    double generous;
    double least;

    double at(double stretch) const { return least + stretch * (generous - least); }
};

constexpr Spacing kItemStep{45, 32};
constexpr Spacing kDetailDrop{20, 15};
constexpr Spacing kItemsRuleGap{10, 6};
constexpr Spacing kTotalsGap{20, 10};
constexpr Spacing kRowStep{25, 19};
constexpr Spacing kPaymentGap{10, 4};
constexpr Spacing kClosingRuleGap{20, 10};
constexpr Spacing kThanksDrop{20, 10};
constexpr Spacing kPolicyGap{30, 22};
constexpr Spacing kSurveyGap{45, 26};
constexpr Spacing kSurveyHeight{45, 36};
constexpr double kRowBoxHeight = 18;
constexpr double kThanksHeight = 20;
constexpr double kPolicyHeight = 35;

// The height from the first item's top to the survey box's bottom.
double depthAt(std::size_t itemCount, double stretch) {
    return static_cast<double>(itemCount) * kItemStep.at(stretch) + kItemsRuleGap.at(stretch) + kTotalsGap.at(stretch) +
           6 * kRowStep.at(stretch) + kPaymentGap.at(stretch) + kClosingRuleGap.at(stretch) + kThanksDrop.at(stretch) +
           kPolicyGap.at(stretch) + kSurveyGap.at(stretch) + kSurveyHeight.at(stretch);
}

void rule(graphics::Canvas& canvas, double y) {
    canvas.strokeLine({kMargin, y}, {kRight, y}, graphics::Stroke{graphics::colors::black, 1});
}

}  // namespace

std::string dollars(double value) { return joined({"$", fixedDecimals(value, 2)}); }

// ---- Data

ReceiptData buildReceiptData(const GenerationContext& context) { return buildReceiptData(context, 0); }

// A count of 0 draws it, as the document does; tests pass their own.
ReceiptData buildReceiptData(const GenerationContext& context, std::size_t itemCount) {
    sham::Faker faker = makeFaker(context);
    platform::RandomSource& random = context.random();
    ReceiptData data;
    data.storeName = faker.company().name();
    data.address = fakeMailingAddress(faker);
    data.phone = faker.phoneNumber().phoneNumber();
    data.transactionID = joined({"TXN", std::to_string(faker.number().randomInt(100000, 999999))});
    data.registerNumber = faker.number().randomInt(1, 20);
    data.cashier = faker.name().firstName();
    data.dateText = platform::format::date(context.clock().now(), platform::format::DateStyle::medium,
                                           platform::format::DateStyle::shortStyle);
    data.paymentMethod = texts::kPaymentMethods[randomIntBelow(random, 5)];
    const std::size_t count = itemCount != 0 ? itemCount : static_cast<std::size_t>(randomIntBelow(random, 4) + 2);
    for (std::size_t index = 0; index < count; ++index) {
        ReceiptItem item;
        item.name = faker.commerce().productName();
        item.quantity = static_cast<std::int64_t>(randomIntBelow(random, 5)) + 1;
        item.unitPrice = randomDoubleInClosedRange(random, 1.99, 99.99);
        item.total = item.unitPrice * static_cast<double>(item.quantity);
        data.subtotal += item.total;
        data.items.push_back(std::move(item));
    }
    data.tax = data.subtotal * kTaxRate;
    data.total = data.subtotal + data.tax;
    return data;
}

// ---- Layout

ReceiptLayout planReceiptLayout(std::size_t itemCount) {
    const double available = kReceiptItemsTop - kReceiptBottomLimit;
    const double generous = depthAt(itemCount, 1);
    const double least = depthAt(itemCount, 0);
    if (least > available) {
        throw std::invalid_argument(joined({"a one-page receipt cannot hold ", std::to_string(itemCount), " items"}));
    }
    const double stretch = generous <= available ? 1.0 : (available - least) / (generous - least);

    ReceiptLayout layout;
    double y = kReceiptItemsTop;
    for (std::size_t index = 0; index < itemCount; ++index) {
        layout.itemTops.push_back(y);
        y -= kItemStep.at(stretch);
    }
    layout.detailDrop = kDetailDrop.at(stretch);
    layout.itemsRule = y - kItemsRuleGap.at(stretch);
    const double rowStep = kRowStep.at(stretch);
    y = layout.itemsRule - kTotalsGap.at(stretch);
    for (double& top : layout.totalsTops) {
        top = y;
        y -= rowStep;
    }
    y -= kPaymentGap.at(stretch);
    for (double& top : layout.paymentTops) {
        top = y;
        y -= rowStep;
    }
    layout.rowHeight = kRowBoxHeight;
    layout.closingRule = y - kClosingRuleGap.at(stretch);
    layout.thanksTop = layout.closingRule - kThanksDrop.at(stretch);
    layout.thanksHeight = std::min(kThanksHeight, kPolicyGap.at(stretch));
    layout.policyTop = layout.thanksTop - kPolicyGap.at(stretch);
    layout.policyHeight = std::min(kPolicyHeight, kSurveyGap.at(stretch));
    layout.surveyTop = layout.policyTop - kSurveyGap.at(stretch);
    layout.surveyHeight = kSurveyHeight.at(stretch);
    return layout;
}

// ---- Rendering

std::vector<std::byte> renderReceipt(const ReceiptData& data, const GenerationContext& context) {
    const ReceiptLayout layout = planReceiptLayout(data.items.size());
    const graphics::TextStyle store = textStyle(graphics::Font::boldSystem(18), graphics::Alignment::center);
    const graphics::TextStyle centred12 = textStyle(graphics::Font::system(12), graphics::Alignment::center);
    const graphics::TextStyle plain12 = textStyle(graphics::Font::system(12));
    const graphics::TextStyle right12 = textStyle(graphics::Font::system(12), graphics::Alignment::right);
    const graphics::TextStyle small = textStyle(graphics::Font::system(10));
    const graphics::TextStyle smallCentred = textStyle(graphics::Font::system(10), graphics::Alignment::center);
    const graphics::TextStyle heading = textStyle(graphics::Font::boldSystem(14), graphics::Alignment::center);
    const graphics::TextStyle totalLabel = textStyle(graphics::Font::boldSystem(14));
    const graphics::TextStyle totalValue = textStyle(graphics::Font::boldSystem(14), graphics::Alignment::right);

    const auto text = [](std::string_view string, const graphics::TextStyle& style) {
        return graphics::AttributedText(string, style);
    };
    // A label and value pair whose boxes' tops are at `top`.
    const auto pair = [&](graphics::Canvas& canvas, double top, std::string_view label, std::string_view value,
                          bool bold) {
        canvas.drawText(text(label, bold ? totalLabel : plain12),
                        graphics::Rect{kMargin, top - layout.rowHeight, 297, layout.rowHeight});
        canvas.drawText(text(value, bold ? totalValue : right12),
                        graphics::Rect{347, top - layout.rowHeight, 198, layout.rowHeight});
    };

    return statement_page::renderOnePage(context, [&](graphics::Canvas& canvas) {
        canvas.drawText(text(data.storeName, store), graphics::Rect{kMargin, 762, kContentWidth, 30});
        canvas.drawText(text(data.address, centred12), graphics::Rect{kMargin, 712, kContentWidth, 40});
        canvas.drawText(text(data.phone, centred12), graphics::Rect{kMargin, 682, kContentWidth, 20});
        rule(canvas, 662);

        const std::array<std::pair<std::string_view, std::string>, 4> details{{
            {texts::kDateTime, data.dateText},
            {texts::kTransactionID, data.transactionID},
            {texts::kRegister, joined({"#", std::to_string(data.registerNumber)})},
            {texts::kCashier, data.cashier},
        }};
        double y = 642;
        for (const auto& [label, value] : details) {
            canvas.drawText(text(label, plain12), graphics::Rect{kMargin, y - 18, kLabelWidth, 18});
            canvas.drawText(text(value, right12), graphics::Rect{kMargin + kLabelWidth, y - 18, kValueWidth, 18});
            y -= 25;
        }
        rule(canvas, y - 10);
        canvas.drawText(text(texts::kItemsPurchased, heading), graphics::Rect{kMargin, 492, kContentWidth, 20});

        for (std::size_t index = 0; index < data.items.size(); ++index) {
            const ReceiptItem& item = data.items[index];
            const double top = layout.itemTops[index];
            canvas.drawText(text(item.name, plain12), graphics::Rect{kMargin, top - 15, kContentWidth, 15});
            const double detailBottom = top - layout.detailDrop - 15;
            canvas.drawText(
                text(joined({std::to_string(item.quantity), " \u00D7 $", fixedDecimals(item.unitPrice, 2)}), small),
                graphics::Rect{70, detailBottom, 297, 15});
            canvas.drawText(text(dollars(item.total), right12), graphics::Rect{347, detailBottom, 198, 15});
        }
        rule(canvas, layout.itemsRule);

        pair(canvas, layout.totalsTops[0], texts::kSubtotal, dollars(data.subtotal), false);
        pair(canvas, layout.totalsTops[1], texts::kTax, dollars(data.tax), false);
        pair(canvas, layout.totalsTops[2], texts::kTotal, dollars(data.total), true);
        pair(canvas, layout.paymentTops[0], texts::kPaymentMethod, data.paymentMethod, false);
        pair(canvas, layout.paymentTops[1], texts::kAmountPaid, dollars(data.total), false);
        pair(canvas, layout.paymentTops[2], texts::kChange, dollars(0.0), false);
        rule(canvas, layout.closingRule);

        canvas.drawText(text(texts::kThankYou, heading), graphics::Rect{kMargin, layout.thanksTop - layout.thanksHeight,
                                                                        kContentWidth, layout.thanksHeight});
        canvas.drawText(
            text(texts::kReturnPolicy, smallCentred),
            graphics::Rect{kMargin, layout.policyTop - layout.policyHeight, kContentWidth, layout.policyHeight});
        const std::string code = data.transactionID.substr(data.transactionID.size() - 6);
        canvas.drawText(
            text(joined({"Visit ", texts::kSurveyAddress, "\nEnter code: ", code, texts::kSurveyPrize}), smallCentred),
            graphics::Rect{kMargin, layout.surveyTop - layout.surveyHeight, kContentWidth, layout.surveyHeight});
    });
}

}  // namespace receipt

fs::path ReceiptPDFGenerator::generate(const fs::path& destination, ContentSize, const GenerationContext& context) {
    const receipt::ReceiptData data = receipt::buildReceiptData(context);
    return writePDFData(destination, receipt::renderReceipt(data, context), context);
}

}  // namespace stubforge
