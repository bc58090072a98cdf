#include "ControllerTestSupport.h"
#include "ReceiptFixtures.h"

#include "kit/measurement/controller/MSRReceiptScan.h"

#include <algorithm>
#include <memory>
#include <random>

namespace kit::measurement::testing {
namespace {

using namespace std::chrono_literals;

platform::TimePoint at(std::string_view text) {
    const auto date = MSRParseReceiptDate(text);
    EXPECT_TRUE(date) << text;
    return date.value_or(platform::TimePoint{});
}

std::vector<std::optional<std::string>> productIDs(const std::vector<MSRInAppPurchaseItem>& items) {
    std::vector<std::optional<std::string>> ids;
    for (const MSRInAppPurchaseItem& item : items) {
        ids.push_back(item.productID);
    }
    return ids;
}

class ReceiptScanTest : public ControllerTest {};

TEST_F(ReceiptScanTest, AFullRecordFillsEveryField) {
    const ReceiptBytes receipt = receiptFileWithPurchases({{
        .productID = "org.stubforge.pro.monthly",
        .transactionID = "1000000002",
        .originalTransactionID = "1000000001",
        .purchaseDate = "2026-02-05T10:00:00Z",
        .originalPurchaseDate = "2026-01-05T10:00:00Z",
        .expirationDate = "2026-03-05T10:00:00Z",
        .cancellationDate = "2026-02-20T08:30:00Z",
        .purchaseType = 6,
        .webOrderLineItemID = 0xFEDCBA9876543210,
        .freeTrial = 1,
        .introductoryOffer = 1,
    }});
    const auto items = MSRParseInAppPurchaseItems(receipt);
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 1u);
    const MSRInAppPurchaseItem& item = items->front();
    EXPECT_EQ(item.productID, "org.stubforge.pro.monthly");
    EXPECT_EQ(item.transactionID, "1000000002");
    EXPECT_EQ(item.originalTransactionID, "1000000001");
    EXPECT_EQ(item.purchaseDateIA5String, "2026-02-05T10:00:00Z");
    EXPECT_EQ(item.originalPurchaseDateIA5String, "2026-01-05T10:00:00Z");
    EXPECT_EQ(item.subscriptionExpirationDateIA5String, "2026-03-05T10:00:00Z");
    EXPECT_EQ(item.cancellationDateIA5String, "2026-02-20T08:30:00Z");
    EXPECT_EQ(item.purchaseType, 6);
    // Nine content bytes (a leading zero): the last eight are the number.
    EXPECT_EQ(item.webOrderLineItemID, static_cast<std::int64_t>(0xFEDCBA9876543210));
    EXPECT_TRUE(item.freeTrial);
    EXPECT_TRUE(item.introductoryOffer);
    EXPECT_EQ(item.purchaseDate(), at("2026-02-05T10:00:00Z"));
    EXPECT_TRUE(services().drainCodes().empty());
}

TEST_F(ReceiptScanTest, EmptyInputGivesNothingAndNoMarkerGivesAnEmptyList) {
    EXPECT_FALSE(MSRParseInAppPurchaseItems({}));
    // Field attributes outside any purchase record are not read.
    const ReceiptBytes noRecords = receiptFile(std::vector<ReceiptBytes>{});
    ReceiptBytes strayFields = noRecords;
    const ReceiptBytes stray = utf8Attribute(1702, "stray");
    strayFields.insert(strayFields.end(), stray.begin(), stray.end());
    for (const ReceiptBytes& receipt : {noRecords, strayFields}) {
        const auto items = MSRParseInAppPurchaseItems(receipt);
        ASSERT_TRUE(items);
        EXPECT_TRUE(items->empty());
    }
}

TEST_F(ReceiptScanTest, ConsecutiveRecordsKeepTheirOwnFields) {
    const ReceiptBytes receipt = receiptFileWithPurchases({
        {.productID = "first", .transactionID = "11", .purchaseDate = "2026-01-01T00:00:00Z", .freeTrial = 1},
        // No transaction ID, purchase type or trial of its own: nothing of
        // the first record's may show up here.
        {.productID = "second", .purchaseDate = "2026-01-02T00:00:00Z", .webOrderLineItemID = 7},
        {.productID = "third", .transactionID = "33", .purchaseType = 2},
    });
    const auto items = MSRParseInAppPurchaseItems(receipt);
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 3u);
    EXPECT_EQ(productIDs(*items), (std::vector<std::optional<std::string>>{"first", "second", "third"}));
    EXPECT_EQ((*items)[0].transactionID, "11");
    EXPECT_TRUE((*items)[0].freeTrial);
    EXPECT_FALSE((*items)[0].webOrderLineItemID);
    EXPECT_EQ((*items)[1].transactionID, std::nullopt);
    EXPECT_FALSE((*items)[1].freeTrial);
    EXPECT_EQ((*items)[1].webOrderLineItemID, 7);
    EXPECT_EQ((*items)[1].purchaseDateIA5String, "2026-01-02T00:00:00Z");
    EXPECT_EQ((*items)[2].transactionID, "33");
    EXPECT_EQ((*items)[2].purchaseType, 2);
    EXPECT_EQ((*items)[2].purchaseDateIA5String, std::nullopt);
}

TEST_F(ReceiptScanTest, RecordsWithoutAProductAreDroppedButTheLastIsKept) {
    const ReceiptBytes receipt = receiptFileWithPurchases({
        {.transactionID = "no product, not last"},
        {.productID = "kept"},
        {.transactionID = "no product, last"},
    });
    const auto items = MSRParseInAppPurchaseItems(receipt);
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 2u);
    EXPECT_EQ((*items)[0].productID, "kept");
    EXPECT_EQ((*items)[1].productID, std::nullopt);
    EXPECT_EQ((*items)[1].transactionID, "no product, last");
}

// One record built from the given attributes, after a product ID.
MSRInAppPurchaseItem parseOne(std::vector<ReceiptBytes> attributes) {
    attributes.insert(attributes.begin(), utf8Attribute(1702, "product"));
    const auto items = MSRParseInAppPurchaseItems(receiptFile({purchaseRecord(attributes)}));
    EXPECT_TRUE(items && items->size() == 1u);
    return items && !items->empty() ? items->front() : MSRInAppPurchaseItem{};
}

TEST_F(ReceiptScanTest, UnexpectedValuesLeaveTheirFieldUnset) {
    const std::string notUTF8 = "caf\xC3";
    const std::string notASCII = "2026-01-05T10:00:00\xC2\xB5";

    struct Case {
        const char* name;
        std::vector<ReceiptBytes> attributes;
        MSRInAppPurchaseItem expected;
        std::vector<std::int64_t> codes;
    };
    MSRInAppPurchaseItem base;
    base.productID = "product";
    auto with = [&](auto change) {
        MSRInAppPurchaseItem item = base;
        change(item);
        return item;
    };
    const std::vector<Case> cases = {
        {"free trial 2", {integerAttribute(1713, 2)}, base, {39025}},
        {"introductory offer 2", {integerAttribute(1719, 2)}, base, {39028}},
        {"free trial of two bytes", {receiptAttribute(1713, kDERInteger, {0, 1})}, base, {}},
        {"purchase type of two bytes", {receiptAttribute(1707, kDERInteger, {0, 1})}, base, {}},
        {"web order line item 0", {integerAttribute(1711, 0)}, base, {}},
        {"transaction ID not UTF-8", {receiptAttribute(1703, kDERUTF8String, derText(notUTF8))}, base, {}},
        {"purchase date not ASCII", {ia5Attribute(1704, notASCII)}, base, {}},
        // A field is read once per record, even when the first value was
        // refused.
        {"second purchase type ignored",
         {receiptAttribute(1707, kDERInteger, {0, 1}), integerAttribute(1707, 3)},
         base,
         {}},
        {"second transaction ID ignored",
         {utf8Attribute(1703, "first"), utf8Attribute(1703, "second")},
         with([](MSRInAppPurchaseItem& item) { item.transactionID = "first"; }),
         {}},
        // A value with another tag is not the field.
        {"transaction ID as IA5String",
         {ia5Attribute(1703, "ia5"), utf8Attribute(1703, "utf8")},
         with([](MSRInAppPurchaseItem& item) { item.transactionID = "utf8"; }),
         {}},
        {"free trial 0 and offer 1",
         {integerAttribute(1713, 0), integerAttribute(1719, 1)},
         with([](MSRInAppPurchaseItem& item) { item.introductoryOffer = true; }),
         {}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(parseOne(testCase.attributes), testCase.expected);
        services().monitor().waitUntilIdle();
        EXPECT_EQ(services().drainCodes(), testCase.codes);
    }
}

TEST_F(ReceiptScanTest, TheTemplateMatchStaysInsideTheData) {
    constexpr std::uint8_t W = kMSRReceiptWildcard;
    const std::vector<std::uint8_t> fieldTemplate{0xAA, W};
    struct Case {
        const char* name;
        std::vector<std::uint8_t> matchTemplate;
        std::vector<std::uint8_t> data;
        std::int32_t position;
        std::optional<std::vector<std::uint8_t>> expected;
    };
    const std::vector<Case> cases = {
        {"match", fieldTemplate, {0x00, 0xAA, 0x02, 0x10, 0x11, 0x12}, 1, std::vector<std::uint8_t>{0x10, 0x11}},
        {"length up to the end", fieldTemplate, {0xAA, 0x02, 0x10, 0x11}, 0, std::vector<std::uint8_t>{0x10, 0x11}},
        {"length past the end", fieldTemplate, {0xAA, 0x03, 0x10, 0x11}, 0, std::nullopt},
        {"length 0", fieldTemplate, {0xAA, 0x00, 0x10}, 0, std::nullopt},
        {"template reaches the end", fieldTemplate, {0x00, 0xAA, 0x01}, 1, std::nullopt},
        {"position past the end", fieldTemplate, {0xAA, 0x01, 0x10}, 7, std::nullopt},
        {"negative position", fieldTemplate, {0xAA, 0x01, 0x10}, -1, std::nullopt},
        {"other byte", fieldTemplate, {0xAB, 0x01, 0x10}, 0, std::nullopt},
        {"no capture", {0xAA, 0x01}, {0xAA, 0x01, 0x10}, 0, std::nullopt},
        {"empty template", {}, {0xAA, 0x01, 0x10}, 0, std::nullopt},
        {"empty data", fieldTemplate, {}, 0, std::nullopt},
        {"last capture is the length", {W, 0xAA, W}, {0x05, 0xAA, 0x01, 0x10}, 0, std::vector<std::uint8_t>{0x10}},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto value = MSRReceiptMatchTemplate(testCase.matchTemplate, testCase.data, testCase.position);
        ASSERT_EQ(value.has_value(), testCase.expected.has_value());
        if (value) {
            EXPECT_EQ(std::vector<std::uint8_t>(value->begin(), value->end()), *testCase.expected);
        }
    }
    services().monitor().waitUntilIdle();
    EXPECT_TRUE(services().drainCodes().empty());

    // A long-form length byte is logged and still read as that many bytes.
    std::vector<std::uint8_t> longValue{0xAA, 0x81};
    longValue.resize(2 + 0x81, 0x20);
    const auto value = MSRReceiptMatchTemplate(fieldTemplate, longValue, 0);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->size(), 0x81u);
    services().monitor().waitUntilIdle();
    EXPECT_EQ(services().drainCodes(), std::vector<std::int64_t>{39027});

    const std::vector<std::uint8_t> marker{0x30, 0x02, 0x01, 0x11, 0x02, 0x01, 0x01, 0x04, 0x05};
    EXPECT_TRUE(MSRReceiptMatchInAppAttribute(marker, 1));
    EXPECT_FALSE(MSRReceiptMatchInAppAttribute(marker, 0));
}

TEST_F(ReceiptScanTest, SelectionByProductOrDateSortsOldestFirst) {
    const auto items = MSRParseInAppPurchaseItems(receiptFileWithPurchases({
        {.productID = "monthly", .transactionID = "3", .purchaseDate = "2026-03-01T09:00:00Z"},
        {.productID = "coins", .transactionID = "2", .purchaseDate = "2026-02-01T09:00:00Z"},
        {.productID = "monthly", .transactionID = "1", .purchaseDate = "2026-01-01T09:00:00Z"},
        {.productID = "monthly", .transactionID = "undated"},
        {.productID = "coins", .transactionID = "4", .purchaseDate = "2026-02-01T11:00:00+02:00"},
    }));
    ASSERT_TRUE(items);
    const auto transactions = [](const std::optional<std::vector<MSRInAppPurchaseItem>>& matches) {
        std::vector<std::string> ids;
        for (const MSRInAppPurchaseItem& item : matches.value_or(std::vector<MSRInAppPurchaseItem>{})) {
            ids.push_back(item.transactionID.value_or("?"));
        }
        return ids;
    };
    using Ids = std::vector<std::string>;
    EXPECT_EQ(transactions(MSRPurchaseItemsMatching(*items, "monthly", std::nullopt)), (Ids{"1", "3", "undated"}));
    // The same second, whatever the offset and the fraction of the second.
    const platform::TimePoint februaryFirst = at("2026-02-01T09:00:00Z") + 250ms;
    EXPECT_EQ(transactions(MSRPurchaseItemsMatching(*items, std::nullopt, februaryFirst)), (Ids{"2", "4"}));
    EXPECT_EQ(transactions(MSRPurchaseItemsMatching(*items, "", februaryFirst)), (Ids{"2", "4"}));
    EXPECT_EQ(transactions(MSRPurchaseItemsMatching(*items, "monthly", at("2026-03-01T09:00:00Z"))), Ids{"3"});
    EXPECT_EQ(transactions(MSRPurchaseItemsMatching(*items, "monthly", februaryFirst)), Ids{});
    EXPECT_TRUE(MSRPurchaseItemsMatching(*items, "monthly", februaryFirst));

    EXPECT_FALSE(MSRPurchaseItemsMatching(*items, std::nullopt, std::nullopt));
    EXPECT_FALSE(MSRPurchaseItemsMatching(*items, "", std::nullopt));
    EXPECT_FALSE(MSRPurchaseItemsMatching({}, "monthly", februaryFirst));
}

TEST_F(ReceiptScanTest, DatesReadZuluOrAnOffsetAndNothingElse) {
    const platform::TimePoint noon = platform::TimePoint{std::chrono::seconds{1767614400}};  // 2026-01-05 12:00 UTC
    struct Case {
        const char* text;
        std::optional<platform::TimePoint> expected;
    };
    const std::vector<Case> cases = {
        {"2026-01-05T12:00:00Z", noon},
        {"2026-01-05T14:30:00+02:30", noon},
        {"2026-01-05T07:00:00-05:00", noon},
        {"2026-01-05T12:00:00+00:00", noon},
        {"1970-01-01T00:00:00Z", platform::TimePoint{}},
        {"2024-02-29T00:00:00Z", platform::TimePoint{std::chrono::seconds{1709164800}}},
        {"2026-01-05T12:00:00", std::nullopt},
        {"2026-01-05 12:00:00Z", std::nullopt},
        {"2026-01-05T12:00:00Zjunk", std::nullopt},
        {"2026-01-05T12:00:00+0200", std::nullopt},
        {"2026-01-05T12:00:00+24:00", std::nullopt},
        {"2026-02-30T12:00:00Z", std::nullopt},
        {"2026-13-05T12:00:00Z", std::nullopt},
        {"2026-01-05T24:00:00Z", std::nullopt},
        {"2026-01-05T12:60:00Z", std::nullopt},
        {"9999-12-31T23:59:59Z", std::nullopt},  // past what a time point holds
        {"2026-1-05T12:00:00Z", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.text);
        EXPECT_EQ(MSRParseReceiptDate(testCase.text), testCase.expected);
    }
    EXPECT_EQ(MSRFormatReceiptDate(noon + 999ms), "2026-01-05T12:00:00Z");
    EXPECT_EQ(MSRParseReceiptDate(MSRFormatReceiptDate(noon)), noon);
}

// Random buffers, and fixture receipts with a few bytes changed, each in a
// heap block of exactly its size so that the sanitizers see any read past
// it. Every value handed back must lie inside the buffer.
TEST_F(ReceiptScanTest, RandomAndMutatedBuffersAreReadSafely) {
    const std::vector<ReceiptBytes> seeds = {
        receiptFileWithPurchases({
            {.productID = "a",
             .transactionID = "1",
             .originalTransactionID = "0",
             .purchaseDate = "2026-01-01T00:00:00Z",
             .originalPurchaseDate = "2026-01-01T00:00:00Z",
             .expirationDate = "2026-02-01T00:00:00Z",
             .cancellationDate = "2026-01-15T00:00:00Z",
             .purchaseType = 1,
             .webOrderLineItemID = 99,
             .freeTrial = 1,
             .introductoryOffer = 0},
            {.productID = "b", .purchaseDate = "2026-01-02T00:00:00+01:00", .freeTrial = 2},
        }),
        purchaseRecord({integerAttribute(1713, 1), utf8Attribute(1702, "c")}),
    };
    std::mt19937_64 random(20261210);
    const auto below = [&](std::size_t count) { return static_cast<std::size_t>(random() % count); };
    constexpr int kRuns = 100'000;
    std::size_t itemsSeen = 0;
    for (int run = 0; run < kRuns; ++run) {
        ReceiptBytes input;
        if (run % 2 == 0) {
            input.resize(below(160));
            for (std::uint8_t& byte : input) {
                // Mostly bytes of the templates, so that partial matches happen.
                static constexpr std::uint8_t kBytes[] = {0x02, 0x01, 0x11, 0x04, 0x06, 0xA6, 0x0C, 0x16, 0xB1, 0x80};
                byte = below(3) == 0 ? static_cast<std::uint8_t>(random()) : kBytes[below(std::size(kBytes))];
            }
        } else {
            input = seeds[below(seeds.size())];
            const std::size_t changes = 1 + below(4);
            for (std::size_t change = 0; change < changes && !input.empty(); ++change) {
                switch (below(3)) {
                case 0:
                    input[below(input.size())] = static_cast<std::uint8_t>(random());
                    break;
                case 1:
                    input.resize(below(input.size() + 1));
                    break;
                default:
                    input.erase(input.begin() + static_cast<std::ptrdiff_t>(below(input.size())));
                    break;
                }
            }
        }
        const auto buffer = std::make_unique<std::uint8_t[]>(input.size());
        std::copy(input.begin(), input.end(), buffer.get());
        const std::span<const std::uint8_t> bytes(buffer.get(), input.size());

        const auto items = MSRParseInAppPurchaseItems(bytes);
        ASSERT_EQ(items.has_value(), !input.empty());
        if (items) {
            itemsSeen += items->size();
            for (const MSRInAppPurchaseItem& item : *items) {
                ASSERT_TRUE(!item.productID || item.productID->size() <= input.size());
            }
        }
        const auto position = static_cast<std::int32_t>(input.empty() ? 0 : below(input.size()));
        if (const auto value = MSRReceiptMatchInAppAttribute(bytes, position)) {
            ASSERT_GE(value->data(), bytes.data());
            ASSERT_LE(value->data() + value->size(), bytes.data() + bytes.size());
        }
    }
    // The mutated receipts still hold records most of the time.
    EXPECT_GT(itemsSeen, static_cast<std::size_t>(kRuns / 4));
}

}  // namespace
}  // namespace kit::measurement::testing
