#pragma once

// The invoice in its one-page and long forms: the data each is drawn from,
// the long form's page plan, and the pieces both draw alike.

#include "stubforge/core/GenerationContext.h"

#include "platform/graphics/AttributedText.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Geometry.h"

#include "sham/Faker.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace stubforge::invoice {

// ---- Texts

namespace texts {
inline constexpr std::string_view kTitle = "INVOICE";
inline constexpr std::string_view kWrittenLine = "PDF invoice generated at ";
inline constexpr std::string_view kInvoicePrefix = "INV";
inline constexpr std::string_view kAccountPrefix = "ACC";
inline constexpr std::string_view kPurchaseOrderPrefix = "PO";
inline constexpr std::string_view kBillingHeading = "Billing Address\n";
inline constexpr std::string_view kDeliveryHeading = "Delivery Address\n";
inline constexpr std::string_view kAttention = "\nAttn: __________\n";
inline constexpr std::string_view kDescription = "Description";
inline constexpr std::string_view kQuantity = "Quantity";
inline constexpr std::string_view kUnitPrice = "Unit Price";
inline constexpr std::string_view kTotal = "Total";
inline constexpr std::string_view kNumber = "No.";
inline constexpr std::string_view kSubtotal = "Subtotal:";
inline constexpr std::string_view kSalesTax = "Sales Tax:";
inline constexpr std::string_view kShipping = "Shipping:";
inline constexpr std::string_view kDiscount = "(Discount):";
inline constexpr std::string_view kTotalPayable = "Total Amount Payable:";
inline constexpr std::string_view kPaymentTerms =
    "Payment Terms:\n- cash\n- personal check\n- cashier's check\n- money order\n- credit or debit card\n"
    "- Paypal\n\nTotal amount payable is due thirty four (34) days from the date of this invoice.";
}  // namespace texts

// ---- Data

struct LineItem {
    std::string description;
    std::int64_t quantity = 0;
    double unitPrice = 0;  // currency units, whole cents

    // Unrounded, as every sum below takes it.
    double total() const { return unitPrice * static_cast<double>(quantity); }
};

struct Seller {
    std::string companyName;
    std::string streetAddress;
    std::string city;
    std::string stateAbbreviation;
    std::string postcode;
};

// A billing or delivery address: no postcode.
struct Addressee {
    std::string firstName;
    std::string lastName;
    std::string streetAddress;
    std::string city;
    std::string stateAbbreviation;
};

struct InvoiceData {
    std::string dateText;
    std::string invoiceNumber;
    std::string accountNumber;
    std::string purchaseOrderNumber;
    Seller seller;
    Addressee billing;
    Addressee delivery;
    std::vector<LineItem> items;
};

// The fixed amounts under every subtotal.
inline constexpr double kSalesTaxAmount = 0.0;
inline constexpr double kShippingAmount = 43.0;
inline constexpr double kDiscountAmount = -45.0;

// The sum of the unrounded line totals.
double subtotalOf(std::span<const LineItem> items);
// Subtotal, sales tax, shipping and the (negative) discount.
double totalPayableOf(double subtotal);

// The one-page invoice: 3 to 7 items.
InvoiceData buildInvoiceData(const GenerationContext& context);
// The long invoice: 3 to 99 items, or `itemCount` items when given.
InvoiceData buildLongInvoiceData(const GenerationContext& context);
InvoiceData buildLongInvoiceData(const GenerationContext& context, std::size_t itemCount);

// ---- The long invoice's pages

// Rows a page of the long invoice holds: the first page under the header
// blocks, a continuation page, and the last page above the totals and terms.
inline constexpr std::size_t kFirstPageRows = 15;
inline constexpr std::size_t kContinuationPageRows = 25;
inline constexpr std::size_t kLastPageRows = 17;

struct LongInvoicePage {
    std::size_t firstRow = 0;  // index into the items
    std::size_t rowCount = 0;
    bool headerBlocks = false;  // seller, title, information and addresses
    bool totals = false;        // totals and payment terms below the rows
};

// Every page in order; the renderer draws exactly these, so the footers'
// page total is the size of the plan.
std::vector<LongInvoicePage> planLongInvoicePages(std::size_t itemCount);

// Where the long invoice's rows start and end on a page.
inline constexpr double kFirstPageBandTop = 542;
inline constexpr double kPageBandTop = 792;
inline constexpr double kBandHeight = 30;
inline constexpr double kRowHeight = 25;
// The top of the footer's box; everything else stays above it.
inline constexpr double kLongInvoiceFooterTop = 55;
// From the last row's bottom down to the bottom of the payment terms' box.
inline constexpr double kLongInvoiceClosingDepth = 270;

// ---- Rendering

std::vector<std::byte> renderInvoice(const InvoiceData& data, const GenerationContext& context);
std::vector<std::byte> renderLongInvoice(const InvoiceData& data, const GenerationContext& context);

// ---- Pieces both forms share

struct InvoiceStyles {
    platform::graphics::TextStyle seller;        // body, left: seller, row description, payment terms
    platform::graphics::TextStyle information;   // body, right: information, row numbers, totals
    platform::graphics::TextStyle leftHeading;   // body bold, left
    platform::graphics::TextStyle rightHeading;  // body bold, right: other headings, total row
    platform::graphics::TextStyle title;
    platform::graphics::TextStyle addressHeading;
    platform::graphics::TextStyle addressText;
};

InvoiceStyles makeInvoiceStyles();

// A money value in the table rows: the currency format, or the plain
// decimal text when the format has none.
std::string rowMoney(double value);
// A money value in the totals: the currency format, or nothing.
std::string totalsMoney(double value);

// The reference numbers, the date, then the seller and the two addressees.
void buildReferences(sham::Faker& faker, const GenerationContext& context, InvoiceData& data);
void buildParties(sham::Faker& faker, InvoiceData& data);
// An item of either form.
LineItem buildLineItem(sham::Faker& faker);

// Seller block, title, information block and the two addresses.
void drawHeaderBlocks(platform::graphics::Canvas& canvas, const InvoiceData& data, const InvoiceStyles& styles);

// The five totals rows, the first with its bottom at `firstRowBottom` and
// each further one 20 lower.
void drawTotals(platform::graphics::Canvas& canvas, double subtotal, double firstRowBottom,
                const InvoiceStyles& styles);

// The payment terms in their 150-point box whose bottom is at `bottom`.
void drawPaymentTerms(platform::graphics::Canvas& canvas, double bottom, const InvoiceStyles& styles);

}  // namespace stubforge::invoice
