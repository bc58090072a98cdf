#pragma once

// The shop receipt in its one-page and long forms: the data each is drawn
// from and the plans that place it on the page.

#include "stubforge/core/GenerationContext.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stubforge::receipt {

// ---- Texts

namespace texts {
inline constexpr std::string_view kDateTime = "Date/Time:";
inline constexpr std::string_view kTransactionID = "Transaction ID:";
inline constexpr std::string_view kRegister = "Register:";
inline constexpr std::string_view kCashier = "Cashier:";
inline constexpr std::string_view kCustomerNumber = "Customer #:";
inline constexpr std::string_view kItemsPurchased = "ITEMS PURCHASED";
inline constexpr std::string_view kSubtotal = "Subtotal:";
inline constexpr std::string_view kTax = "Tax (8.75%):";
inline constexpr std::string_view kDiscount = "Discount:";
inline constexpr std::string_view kTotal = "TOTAL:";
inline constexpr std::string_view kPaymentMethod = "Payment Method:";
inline constexpr std::string_view kAmountPaid = "Amount Paid:";
inline constexpr std::string_view kChange = "Change:";
inline constexpr std::string_view kThankYou = "Thank you for your purchase!";
inline constexpr std::string_view kReturnPolicy =
    "Items may be returned within 30 days with receipt.\nStore credit only on sale items.";
// The survey site of the one-page receipt, path included.
inline constexpr std::string_view kSurveyAddress = "www.shopper-voice.example/store";
inline constexpr std::string_view kSurveyPrize = "\nfor a chance to win $100!";

inline constexpr std::string_view kPaymentInformation = "PAYMENT INFORMATION";
inline constexpr std::string_view kLongThankYou = "THANK YOU FOR YOUR PURCHASE!";
inline constexpr std::string_view kLongReturnPolicy =
    "Return Policy: Items may be returned within 30 days with this receipt.\n"
    "Sale items are final sale. Store credit only for returns over 30 days.";
// The feedback site of the long receipt; the store's part follows.
inline constexpr std::string_view kFeedbackSite = "www.tell-the-till.example/";
inline constexpr std::string_view kPagePrefix = "Receipt - Page ";
inline constexpr std::string_view kPageOf = " of ";

// The long receipt takes all seven; the one-page receipt the first five.
inline constexpr std::array<std::string_view, 7> kPaymentMethods{
    "CASH",           "VISA ****1234", "MASTERCARD ****5678", "AMERICAN EXPRESS ****9012",
    "DEBIT ****3456", "APPLE PAY",     "SAMSUNG PAY",
};
}  // namespace texts

// "$12.50": two decimals, "." whatever the locale, no grouping.
std::string dollars(double value);

// ---- The one-page receipt

inline constexpr double kTaxRate = 0.0875;

struct ReceiptItem {
    std::string name;
    std::int64_t quantity = 0;  // 1 to 5
    double unitPrice = 0;       // 1.99 to 99.99
    double total = 0;           // unrounded
};

struct ReceiptData {
    std::string storeName;
    std::string address;  // two lines
    std::string phone;
    std::string transactionID;  // "TXN" and six digits
    std::int64_t registerNumber = 0;
    std::string cashier;
    std::string dateText;
    std::string paymentMethod;
    std::vector<ReceiptItem> items;
    double subtotal = 0;  // every sum unrounded
    double tax = 0;
    double total = 0;
};

// 2 to 5 items, or `itemCount` items when given.
ReceiptData buildReceiptData(const GenerationContext& context);
ReceiptData buildReceiptData(const GenerationContext& context, std::size_t itemCount);

// Where the part below the header goes. Every text box keeps its width and
// font; the spacing shrinks from the generous one as far as the item count
// needs for the survey invitation to end above the bottom limit, but never
// below what keeps lines from touching.
struct ReceiptLayout {
    std::vector<double> itemTops;  // the top of each item's name
    double detailDrop = 0;         // from an item's top to the top of its detail line
    double itemsRule = 0;          // the rule under the items
    std::array<double, 3> totalsTops{};
    std::array<double, 3> paymentTops{};
    double rowHeight = 0;    // the boxes of the totals and payment rows
    double closingRule = 0;  // R
    double thanksTop = 0;
    double thanksHeight = 0;
    double policyTop = 0;
    double policyHeight = 0;
    double surveyTop = 0;
    double surveyHeight = 0;
};

inline constexpr double kReceiptItemsTop = 482;
// The survey invitation's box ends at or above this.
inline constexpr double kReceiptBottomLimit = 40;
// The most items the page can take.
inline constexpr std::size_t kReceiptMaximumItems = 6;

// Throws std::invalid_argument for a count the page cannot take.
ReceiptLayout planReceiptLayout(std::size_t itemCount);

std::vector<std::byte> renderReceipt(const ReceiptData& data, const GenerationContext& context);

// ---- The long receipt

struct LongReceiptItem {
    std::int64_t number = 0;
    std::string name;
    std::int64_t quantity = 0;  // 1 to 10
    double unitPrice = 0;       // 0.99 to 199.99
    double total = 0;           // unrounded
};

struct LongReceiptData {
    std::string storeName;
    std::string address;
    std::string phone;
    std::string email;
    std::string transactionID;  // "TXN" and seven digits
    std::int64_t registerNumber = 0;
    std::string cashier;
    std::int64_t customerNumber = 0;
    std::string dateText;
    std::string paymentMethod;
    std::vector<LongReceiptItem> items;
    double taxRate = 0;
    double discountRate = 0;
    double subtotal = 0;  // every sum unrounded
    double tax = 0;
    double discount = 0;
    double total = 0;
};

// 15 to 100 items, or `itemCount` items when given.
LongReceiptData buildLongReceiptData(const GenerationContext& context);
LongReceiptData buildLongReceiptData(const GenerationContext& context, std::size_t itemCount);

// Rows per page: the first page under the store header, a page that starts
// with more rows left than the closing page takes, and the closing page.
inline constexpr std::size_t kLongFirstPageRows = 20;
inline constexpr std::size_t kLongFullPageRows = 35;
inline constexpr std::size_t kLongClosingPageRows = 25;

inline constexpr double kLongTopLine = 792;
inline constexpr double kLongFirstPageTableTop = 557;
inline constexpr double kLongTableHeaderHeight = 25;
inline constexpr double kLongRowHeight = 20;
// From the closing block's top rule down to the bottom of its last box.
inline constexpr double kLongClosingBlockDepth = 312;
// The footer's box is (50, 20, 495, 15); everything else stays above it.
inline constexpr double kLongFooterTop = 35;

struct LongReceiptPage {
    std::size_t firstRow = 0;  // index into the items
    std::size_t rowCount = 0;
    bool storeHeader = false;  // the first page's header
    bool tableHeader = false;  // the column header band
    // The top rule of the closing block, when this page has it.
    std::optional<double> closingTop;
};

// Every page in order. The row distribution is 20, then 35 while more than
// 25 rows are left, then the rest; the closing block goes 20 below the last
// row when it ends above the footer there, else at the top of a page of its
// own. The renderer draws exactly these pages.
std::vector<LongReceiptPage> planLongReceiptPages(std::size_t itemCount);

std::vector<std::byte> renderLongReceipt(const LongReceiptData& data, const GenerationContext& context);

}  // namespace stubforge::receipt
