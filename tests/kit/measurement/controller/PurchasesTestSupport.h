#pragma once

#include "ReceiptFixtures.h"
#include "ReportersTestSupport.h"
#include "kit/measurement/controller/MSRAEU.h"
#include "kit/measurement/controller/MSRInAppPurchaseProductCache.h"
#include "kit/measurement/controller/MSRInAppPurchaseTransactionReporter.h"
#include "platform/Decimal.h"
#include "platform/store/Products.h"
#include "ManualExecutor.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace kit::measurement::testing {

// A store that answers when the test says so, in the order asked.
class ScriptedRequester final : public platform::ProductsRequester {
public:
    struct Pending {
        std::set<std::string> identifiers;
        Completion completion;
    };

    bool startRequest(const std::set<std::string>& identifiers, Completion completion) override {
        std::lock_guard lock(mutex_);
        asked_.push_back(identifiers);
        if (refuse) {
            return false;
        }
        pending_.push_back({identifiers, std::move(completion)});
        return true;
    }

    // Answers the oldest request.
    void answer(platform::Expected<platform::ProductsResponse> response) {
        Pending next;
        {
            std::lock_guard lock(mutex_);
            ASSERT_FALSE(pending_.empty());
            next = std::move(pending_.front());
            pending_.pop_front();
        }
        next.completion(std::move(response));
    }
    std::size_t pendingCount() {
        std::lock_guard lock(mutex_);
        return pending_.size();
    }
    std::vector<std::set<std::string>> asked() {
        std::lock_guard lock(mutex_);
        return asked_;
    }

    bool refuse = false;

private:
    std::mutex mutex_;
    std::deque<Pending> pending_;               // guarded by mutex_
    std::vector<std::set<std::string>> asked_;  // guarded by mutex_
};

inline platform::Decimal decimal(std::string_view text) { return *platform::Decimal::parse(text); }

inline platform::Product product(std::string identifier, std::optional<std::string_view> price = "0.99") {
    platform::Product result;
    result.productIdentifier = std::move(identifier);
    if (price) {
        result.price = decimal(*price);
    }
    result.currencyCode = "USD";
    result.localizedTitle = "Gold Coins";
    return result;
}

// A receipt date `seconds` after kStart, in the receipt's text.
inline std::string receiptDate(int seconds) {
    return *MSRInAppPurchaseTransactionReporter::ia5StringFromDate(kStart + std::chrono::seconds(seconds));
}

// Captured services (monitor lines at every level), the install environment
// put back afterwards, and receipts written under the test's folder.
class PurchasesTest : public kit::testing::KitTest {
protected:
    PurchasesTest() {
        services->monitor().setVerboseLoggingEnabled(true);
        MeasurementServices::install(services);
    }
    ~PurchasesTest() override {
        services->monitor().waitUntilIdle();
        MeasurementServices::install(nullptr);
    }

    // Installs a receipt holding `purchases`, named as the store names a
    // production or a sandbox receipt.
    void installReceipt(const std::vector<FixturePurchase>& purchases, bool sandbox = false) {
        const auto path = root() / "receipt" / (sandbox ? "sandboxReceipt" : "receipt");
        writeReceiptFile(path, receiptFileWithPurchases(purchases));
        MSRInstallEnvironment environment;
        environment.appStoreReceiptURL = path;
        MSRAEU::setInstallEnvironment(environment);
    }

    std::vector<std::int64_t> codes() {
        services->monitor().waitUntilIdle();
        return services->drainCodes();
    }

    const std::shared_ptr<ReporterServices> services = std::make_shared<ReporterServices>();
};

}  // namespace kit::measurement::testing
