// Store purchases into events: the classification by receipt records, both
// roads in, fingerprints, and reports running side by side.

#include "PurchasesTestSupport.h"
#include "kit/measurement/controller/HLOAnalytics.h"
#include "kit/measurement/controller/MSRReceiptScan.h"
#include "kit/measurement/support/MSRDigests.h"
#include "platform/concurrency/SerialQueue.h"

#include <atomic>
#include <thread>
#include <variant>

namespace kit::measurement {
namespace {

using testing::FixturePurchase;
using testing::kStart;
using testing::product;
using testing::receiptDate;
using testing::ScriptedRequester;

using Entries = std::vector<std::pair<std::string, std::variant<std::int64_t, std::string>>>;

MSRParameters parameters(const Entries& entries) {
    MSRParameters result;
    for (const auto& [name, value] : entries) {
        if (const auto* integer = std::get_if<std::int64_t>(&value)) {
            result.insert_or_assign(name, MSRValue::initWithInt64(*integer));
        } else {
            result.insert_or_assign(name, MSRValue::initWithString(std::get<std::string>(value)));
        }
    }
    return result;
}

std::vector<MSRInAppPurchaseItem> items(const std::vector<FixturePurchase>& purchases) {
    const auto bytes = testing::receiptFileWithPurchases(purchases);
    return MSRParseInAppPurchaseItems(bytes).value_or(std::vector<MSRInAppPurchaseItem>{});
}

std::int64_t did(std::string_view key) { return msr_64LSBMD5(key); }

platform::Product discounted(platform::ProductDiscountPaymentMode mode, std::optional<std::string_view> price) {
    platform::Product result = product("sub.monthly", "9.99");
    result.introductoryPrice =
        platform::ProductDiscount{price ? std::optional(testing::decimal(*price)) : std::nullopt, mode};
    return result;
}

MSRPurchaseReport report(std::optional<platform::Product> sold, std::string transactionID,
                         std::string originalTransactionID, int atSecond = 0, std::int64_t quantity = 1) {
    MSRPurchaseReport result;
    result.product = std::move(sold);
    result.paymentQuantity = quantity;
    result.transactionIdentifier = std::move(transactionID);
    result.originalTransactionIdentifier = std::move(originalTransactionID);
    result.transactionDate = kStart + std::chrono::seconds(atSecond);
    result.storeKitVersion = "1";
    return result;
}

class PurchaseReporterTest : public testing::PurchasesTest {
protected:
    ~PurchaseReporterTest() override { queue->drain(); }

    std::vector<testing::ReportedEvent> drainEvents() {
        queue->drain();
        return services->drainEvents();
    }

    const std::shared_ptr<ScriptedRequester> requester = std::make_shared<ScriptedRequester>();
    const std::shared_ptr<MSRInAppPurchaseProductCache> cache = MSRInAppPurchaseProductCache::create(requester);
    const std::shared_ptr<platform::testing::ManualExecutor> queue =
        std::make_shared<platform::testing::ManualExecutor>();
    MSRInAppPurchaseTransactionReporter reporter{cache, queue};
};

TEST_F(PurchaseReporterTest, PurchasesAreClassifiedByTheReceiptsRecords) {
    const auto monthly = [](std::string transactionID, std::string originalTransactionID, int atSecond,
                            bool freeTrial = false, bool introductory = false) {
        return FixturePurchase{.productID = "sub.monthly",
                               .transactionID = std::move(transactionID),
                               .originalTransactionID = std::move(originalTransactionID),
                               .purchaseDate = receiptDate(atSecond),
                               .purchaseType = 3,
                               .webOrderLineItemID = 77,
                               .freeTrial = freeTrial ? 1 : 0,
                               .introductoryOffer = introductory ? 1 : 0};
    };
    const auto coins = FixturePurchase{.productID = "coins",
                                       .transactionID = "T1",
                                       .originalTransactionID = "T1",
                                       .purchaseDate = receiptDate(0),
                                       .purchaseType = 1};
    const auto unlock = FixturePurchase{.productID = "unlock",
                                        .transactionID = "U1",
                                        .originalTransactionID = "U1",
                                        .purchaseDate = receiptDate(0),
                                        .purchaseType = 0};
    const auto pass = FixturePurchase{.productID = "pass",
                                      .transactionID = "P1",
                                      .originalTransactionID = "P1",
                                      .purchaseDate = receiptDate(0),
                                      .purchaseType = 2};
    const Entries coinsBase = {
        {"product_id", "coins"},        {"price", 990'000}, {"value", 990'000}, {"quantity", 1}, {"currency", "USD"},
        {"product_name", "Gold Coins"}, {"_skv", "1"}};
    const auto with = [](Entries base, const Entries& more) {
        for (const auto& entry : more) {
            std::erase_if(base, [&](const auto& known) { return known.first == entry.first; });
            base.push_back(entry);
        }
        return base;
    };
    const Entries monthlyBase = {
        {"product_id", "sub.monthly"}, {"price", 9'990'000},           {"value", 9'990'000}, {"quantity", 1},
        {"currency", "USD"},           {"product_name", "Gold Coins"}, {"_skv", "1"}};
    const std::int64_t monthlyDid = did("S177sub.monthly");

    struct Row {
        const char* why;
        MSRPurchaseReport report;
        std::vector<FixturePurchase> receipt;
        std::optional<std::string> name;  // nothing: not reported
        Entries parameters;
    };
    const Row rows[] = {
        {"no price", report(product("coins", std::nullopt), "T1", "T1"), {coins}, std::nullopt, {}},
        {"quantity 0", report(product("coins"), "T1", "T1", 0, 0), {coins}, std::nullopt, {}},
        {"no product", report(std::nullopt, "T1", "T1"), {coins}, std::nullopt, {}},
        {"product without identifier", report(product(""), "T1", "T1"), {coins}, std::nullopt, {}},
        {"consumable",
         report(product("coins"), "T1", "T1"),
         {coins},
         "_iap",
         with(coinsBase, {{"_did", did("T1coins")}})},
        {"two of them",
         report(product("coins"), "T1", "T1", 0, 2),
         {coins},
         "_iap",
         with(coinsBase, {{"_did", did("T1coins")}, {"value", 1'980'000}, {"quantity", 2}})},
        {"missing from the receipt", report(product("coins"), "T1", "T1"), {unlock}, "_iapx", coinsBase},
        {"non-consumable restored",
         report(product("unlock"), "U2", "U1"),
         {unlock},
         "_iapx",
         with(coinsBase, {{"product_id", "unlock"}})},
        {"non-consumable",
         report(product("unlock"), "U1", "U1"),
         {unlock},
         "_iap",
         with(coinsBase, {{"product_id", "unlock"}, {"_did", did("U1unlock")}})},
        {"non-renewing",
         report(product("pass"), "P1", "P1"),
         {pass},
         "_iap",
         with(coinsBase, {{"product_id", "pass"}, {"subscription", 1}, {"_did", did("P1pass")}})},
        {"first subscription period",
         report(product("sub.monthly", "9.99"), "S1", "S1"),
         {monthly("S1", "S1", 0)},
         "_iap",
         with(monthlyBase, {{"subscription", 1}, {"_did", monthlyDid}})},
        {"renewal",
         report(product("sub.monthly", "9.99"), "S2", "S1", 60),
         {monthly("S1", "S1", 0), monthly("S2", "S1", 60)},
         "_assr",
         with(monthlyBase, {{"_did", monthlyDid}})},
        {"renewal after a free trial",
         report(product("sub.monthly", "9.99"), "S2", "S1", 60),
         {monthly("S1", "S1", 0, true), monthly("S2", "S1", 60)},
         "_assc",
         with(monthlyBase, {{"_did", monthlyDid}})},
        {"free trial",
         report(discounted(platform::ProductDiscountPaymentMode::freeTrial, std::nullopt), "S1", "S1"),
         {monthly("S1", "S1", 0, true)},
         "_iap",
         with(monthlyBase, {{"subscription", 1},
                            {"_did", monthlyDid},
                            {"free_trial", 1},
                            {"price_is_discounted", 1},
                            {"original_price", 9'990'000},
                            {"price", 0},
                            {"value", 0}})},
        {"free trial bought again",
         report(discounted(platform::ProductDiscountPaymentMode::freeTrial, std::nullopt), "S9", "S1"),
         {monthly("S9", "S1", 0, true)},
         "_iapx",
         with(monthlyBase, {{"_did", monthlyDid},
                            {"free_trial", 1},
                            {"price_is_discounted", 1},
                            {"original_price", 9'990'000},
                            {"price", 0},
                            {"value", 0}})},
        {"introductory price",
         report(discounted(platform::ProductDiscountPaymentMode::payAsYouGo, "0.49"), "S1", "S1", 0, 3),
         {monthly("S1", "S1", 0, false, true)},
         "_iap",
         with(monthlyBase, {{"subscription", 1},
                            {"_did", monthlyDid},
                            {"price_is_discounted", 1},
                            {"original_price", 9'990'000},
                            {"price", 490'000},
                            {"value", 1'470'000},
                            {"quantity", 3}})},
        {"subscription missing at that date",
         report(product("sub.monthly", "9.99"), "S2", "S1", 5),
         {monthly("S1", "S1", 0)},
         "_iapx",
         with(monthlyBase, {{"subscription", 1}})},
        {"two periods at one date",
         report(product("sub.monthly", "9.99"), "S2", "S1", 60),
         {monthly("S1", "S1", 60), monthly("S2", "S1", 60)},
         "_iapx",
         with(monthlyBase, {{"subscription", 1}})},
        {"price past 64 bits in micros",
         report(product("coins", "9223372036855"), "T1", "T1"),
         {coins},
         std::nullopt,
         {}},
        {"value past 64 bits in micros",
         report(product("coins", "4611686018428"), "T1", "T1", 0, 2),
         {coins},
         std::nullopt,
         {}},
        {"discount past 64 bits in micros",
         report(discounted(platform::ProductDiscountPaymentMode::payAsYouGo, "9223372036855"), "S1", "S1"),
         {monthly("S1", "S1", 0, false, true)},
         std::nullopt,
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const auto event =
            MSRInAppPurchaseTransactionReporter::purchaseEventForReport(row.report, items(row.receipt), false);
        if (!row.name) {
            EXPECT_FALSE(event) << event->name;
            continue;
        }
        ASSERT_TRUE(event);
        EXPECT_EQ(event->name, *row.name);
        EXPECT_EQ(event->parameters, parameters(row.parameters));
    }
}

TEST_F(PurchaseReporterTest, MoneyPast64BitsIsRefusedWithAVerboseLine) {
    codes();
    EXPECT_FALSE(MSRInAppPurchaseTransactionReporter::reportTransactionWithProduct(
        report(product("coins", "9223372036855"), "T1", "T1"), {}));
    const auto logged = codes();
    EXPECT_NE(std::find(logged.begin(), logged.end(), 40004), logged.end());
    EXPECT_TRUE(drainEvents().empty());
}

TEST_F(PurchaseReporterTest, ConfirmedPurchasesFromASandboxReceiptAreMarkedWhenVerified) {
    const FixturePurchase coins{.productID = "coins",
                                .transactionID = "T1",
                                .originalTransactionID = "T1",
                                .purchaseDate = receiptDate(0),
                                .purchaseType = 1};
    MSRPurchaseReport verified = report(product("coins"), "T1", "T1");
    verified.verifyReceipt = false;
    const auto event = MSRInAppPurchaseTransactionReporter::purchaseEventForReport(verified, items({coins}), true);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->parameters.at("validated"), MSRValue::initWithInt64(1));
    EXPECT_EQ(event->parameters.at("sandbox"), MSRValue::initWithInt64(1));
    // Confirmed by the receipt: neither.
    const auto confirmed = MSRInAppPurchaseTransactionReporter::purchaseEventForReport(
        report(product("coins"), "T1", "T1"), items({coins}), true);
    ASSERT_TRUE(confirmed);
    EXPECT_FALSE(confirmed->parameters.contains("validated"));
    EXPECT_FALSE(confirmed->parameters.contains("sandbox"));
}

TEST_F(PurchaseReporterTest, AVerifiedSandboxTransactionIsReportedValidatedAndSandbox) {
    installReceipt({});  // a production receipt without the purchase
    MSRVerifiedTransaction transaction;
    transaction.productID = "coins";
    transaction.transactionID = "T1";
    transaction.originalTransactionID = "T1";
    transaction.productType = 1;
    transaction.paymentQuantity = 1;
    transaction.purchaseDate = kStart + std::chrono::milliseconds(400);
    transaction.environment = "Sandbox";
    transaction.isVerified = true;

    reporter.reportTransactionWithProductID(transaction);
    EXPECT_EQ(requester->asked(), (std::vector<std::set<std::string>>{{"coins"}}));
    requester->answer(platform::ProductsResponse{{product("coins")}, {}});
    ASSERT_TRUE(testing::eventually([&] {
        queue->drain();
        return services->countEvents("_iap") == 1;
    }));
    const auto events = drainEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].origin, "auto");
    EXPECT_EQ(events[0].integer("validated"), 1);
    EXPECT_EQ(events[0].integer("sandbox"), 1);
    EXPECT_EQ(events[0].integer("_did"), did("T1coins"));
    EXPECT_EQ(events[0].text("_skv"), "2");

    // Now cached: reported without asking again.
    transaction.environment = "Production";
    reporter.reportTransactionWithProductID(transaction);
    const auto again = drainEvents();
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].integer("validated"), 1);
    EXPECT_FALSE(again[0].integer("sandbox"));
    EXPECT_EQ(requester->asked().size(), 1u);
}

TEST_F(PurchaseReporterTest, PaymentQueuePurchasesAreReportedOnceTheirProductsAreKnown) {
    installReceipt({FixturePurchase{.productID = "coins",
                                    .transactionID = "T1",
                                    .originalTransactionID = "T1",
                                    .purchaseDate = receiptDate(0),
                                    .purchaseType = 1}},
                   /*sandbox=*/true);
    platform::PaymentTransaction coins;
    coins.state = platform::PaymentTransactionState::purchased;
    coins.productIdentifier = "coins";
    coins.transactionIdentifier = "T1";
    coins.originalTransactionIdentifier = "T1";
    coins.transactionDate = kStart;
    platform::PaymentTransaction unknown = coins;
    unknown.productIdentifier = "gems";
    unknown.transactionIdentifier = "G1";
    platform::PaymentTransaction failed = coins;
    failed.state = platform::PaymentTransactionState::failed;
    failed.productIdentifier = "ignored";
    platform::PaymentTransaction nameless = coins;
    nameless.productIdentifier = "";

    reporter.paymentQueueUpdatedFilteredTransactions({coins, unknown, failed, nameless});
    EXPECT_EQ(requester->asked(), (std::vector<std::set<std::string>>{{"coins", "gems"}}));
    requester->answer(platform::ProductsResponse{{product("coins")}, {"gems"}});
    ASSERT_TRUE(testing::eventually([&] {
        queue->drain();
        return services->countEvents("_iap") == 1;
    }));
    const auto events = drainEvents();
    // "gems" has no product: nothing to report.
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "_iap");
    EXPECT_EQ(events[0].text("_skv"), "1");
    EXPECT_FALSE(events[0].integer("validated"));
    EXPECT_FALSE(events[0].integer("sandbox"));
    const auto logged = codes();
    EXPECT_NE(std::find(logged.begin(), logged.end(), 40026), logged.end());

    // A consumable goes by the product's latest record, whichever
    // transaction it is; the product is cached by now.
    platform::PaymentTransaction again = coins;
    again.transactionIdentifier = "T2";
    again.originalTransactionIdentifier = "T2";
    reporter.paymentQueueUpdatedFilteredTransactions({again});
    const auto unconfirmed = drainEvents();
    ASSERT_EQ(unconfirmed.size(), 1u);
    EXPECT_EQ(unconfirmed[0].name, "_iap");
    EXPECT_EQ(requester->asked().size(), 1u);

    // A store failure with no products reports nothing.
    platform::PaymentTransaction other = coins;
    other.productIdentifier = "tin";
    reporter.paymentQueueUpdatedFilteredTransactions({other});
    requester->answer(platform::unexpected(msr_errorWithCode(MSRErrorCode::invalidState, "offline")));
    ASSERT_TRUE(testing::eventually([&] {
        queue->drain();
        const auto lines = codes();
        return std::find(lines.begin(), lines.end(), 21027) != lines.end();
    }));
    EXPECT_TRUE(drainEvents().empty());
}

TEST_F(PurchaseReporterTest, WithoutAReceiptNothingIsConfirmed) {
    // The product sets no receipt location: purchases from the payment
    // queue are all unconfirmed.
    EXPECT_TRUE(MSRInAppPurchaseTransactionReporter::parsePurchasedItemsFromReceipt().empty());
    installReceipt({FixturePurchase{.productID = "coins", .transactionID = "T1", .purchaseDate = receiptDate(0)}});
    EXPECT_EQ(MSRInAppPurchaseTransactionReporter::parsePurchasedItemsFromReceipt().size(), 1u);
    MSRInstallEnvironment missing;
    missing.appStoreReceiptURL = root() / "no-such-receipt";
    MSRAEU::setInstallEnvironment(missing);
    EXPECT_TRUE(MSRInAppPurchaseTransactionReporter::parsePurchasedItemsFromReceipt().empty());

    MSRAEU::setInstallEnvironment(std::nullopt);
    platform::PaymentTransaction coins;
    coins.state = platform::PaymentTransactionState::purchased;
    coins.productIdentifier = "coins";
    coins.transactionIdentifier = "T1";
    coins.originalTransactionIdentifier = "T1";
    reporter.paymentQueueUpdatedFilteredTransactions({coins});
    requester->answer(platform::ProductsResponse{{product("coins")}, {}});
    ASSERT_TRUE(testing::eventually([&] {
        queue->drain();
        return services->countEvents("_iapx") == 1;
    }));
    const auto events = drainEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(events[0].integer("invalid"));
}

TEST(PurchaseFingerprintTest, OnlyPurchasesWithARealIdentifierHaveOne) {
    struct Row {
        const char* why;
        std::optional<platform::PaymentTransactionState> state;  // nothing: no transaction
        std::optional<std::string> identifier;
        std::optional<std::string> fingerprint;
    };
    const Row rows[] = {
        {"no transaction", std::nullopt, "T1", std::nullopt},
        {"no identifier", platform::PaymentTransactionState::purchased, std::nullopt, std::nullopt},
        {"empty identifier", platform::PaymentTransactionState::purchased, "", std::nullopt},
        {"zeros", platform::PaymentTransactionState::purchased, "0000-00-0", std::nullopt},
        {"not purchased", platform::PaymentTransactionState::restored, "T1", std::nullopt},
        {"purchased", platform::PaymentTransactionState::purchased, "1000000012345", msr_MD5String("1000000012345")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        platform::PaymentTransaction transaction;
        transaction.state = row.state.value_or(platform::PaymentTransactionState::purchased);
        transaction.transactionIdentifier = row.identifier;
        EXPECT_EQ(MSRInAppPurchaseTransactionReporter::transactionFingerprint(row.state ? &transaction : nullptr),
                  row.fingerprint);
    }
    EXPECT_EQ(msr_MD5String("1000000012345")->size(), 32u);
}

TEST_F(PurchaseReporterTest, ConcurrentReportsKeepTheirOwnItems) {
    installReceipt({});  // the receipt confirms nothing
    cache->requestProductsWithProductIdentifiers({"coins"}, queue, [](auto, auto, auto) {});
    requester->answer(platform::ProductsResponse{{product("coins")}, {}});
    queue->drain();
    ASSERT_TRUE(cache->cachedProductForProductIdentifier("coins"));

    // Reports on a pool of threads: every verified one carries its own
    // record, and no batch from the payment queue ever sees one of them.
    auto pool = std::shared_ptr<platform::Executor>(std::shared_ptr<platform::Executor>(), &platform::globalQueue());
    MSRInAppPurchaseTransactionReporter concurrent{cache, pool};
    constexpr int kEach = 20;
    for (int index = 0; index < kEach; ++index) {
        MSRVerifiedTransaction verified;
        verified.productID = "coins";
        verified.transactionID = "V" + std::to_string(index);
        verified.originalTransactionID = verified.transactionID;
        verified.productType = 1;
        verified.purchaseDate = kStart;
        verified.isVerified = true;
        concurrent.reportTransactionWithProductID(verified);

        platform::PaymentTransaction queued;
        queued.state = platform::PaymentTransactionState::purchased;
        queued.productIdentifier = "coins";
        queued.transactionIdentifier = "Q" + std::to_string(index);
        queued.originalTransactionIdentifier = queued.transactionIdentifier;
        queued.transactionDate = kStart;
        concurrent.paymentQueueUpdatedFilteredTransactions({queued});
    }
    ASSERT_TRUE(testing::eventually(
        [&] { return services->countEvents("_iap") + services->countEvents("_iapx") == 2 * kEach; }));
    for (const auto& event : services->drainEvents()) {
        const bool verified = event.text("_skv") == "2";
        EXPECT_EQ(event.name, verified ? "_iap" : "_iapx");
        EXPECT_EQ(event.integer("validated").has_value(), verified);
    }
}

TEST_F(PurchaseReporterTest, TheProductsStoreRefusesSoAVerifiedTransactionReportsNothing) {
    // The public road reaches the shared reporter, whose store (the
    // platform's default) knows no product.
    MSRVerifiedTransaction transaction;
    transaction.productID = "coins";
    transaction.transactionID = "T1";
    transaction.originalTransactionID = "T1";
    transaction.isVerified = true;
    HLOAnalytics::logTransactionWithProductID(transaction);
    ASSERT_TRUE(testing::eventually([&] { return services->logged(21027); }));
    EXPECT_TRUE(services->drainEvents().empty());
}

}  // namespace
}  // namespace kit::measurement
