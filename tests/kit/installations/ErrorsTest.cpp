#include "InstallationsTestSupport.h"
#include "kit/installations/InstallationsErrors.h"

#include <gtest/gtest.h>

#include <functional>

namespace kit::installations {
namespace {

using Util = HLOInstallationsErrorUtil;

class InstallationsErrorsTest : public kit::testing::KitTest {};

const platform::Error kOffline("NSURLErrorDomain", -1009, "The Internet connection appears to be offline.");

HLOInstallationsHTTPError serviceUnavailable() {
    return Util::APIErrorWithHTTPResponse(
        {"http://127.0.0.1/v1/projects/demo/installations", 503, {{"Content-Type", "text/plain"}}}, {'x'});
}

TEST_F(InstallationsErrorsTest, EveryFactoryHasItsCodeAndReason) {
    struct Case {
        const char* name;
        std::function<platform::Error()> make;
        int code;
        std::string reason;
        const platform::Error* underlying;
    };
    const std::vector<Case> cases = {
        {"archiver exception",
         [] {
             return Util::keyedArchiverErrorWithException("NSInvalidArchiveOperationException", "bad class",
                                                          std::nullopt);
         },
         0,
         "NSKeyedArchiver exception with name: NSInvalidArchiveOperationException, reason: bad class, userInfo: (null)",
         nullptr},
        {"archiver error", [] { return Util::keyedArchiverErrorWithError(kOffline); }, 0, "NSKeyedArchiver error.",
         &kOffline},
        {"keychain", [] { return Util::keychainErrorWithFunction("SecItemAdd", -34018); }, 1, "SecItemAdd (-34018)",
         nullptr},
        {"not found", [] { return Util::installationItemNotFoundForAppID("X", "Y"); }, 0,
         "Installation for appID X appName Y not found", nullptr},
        {"corrupted token", [] { return Util::corruptedIIDTokenData(); }, 0,
         "IID token data stored in Keychain is corrupted or in an incompatible format.", nullptr},
        {"JSON", [] { return Util::JSONSerializationError(kOffline); }, 0, "Failed to serialize JSON data.", nullptr},
        {"missing field", [] { return Util::FIDRegistrationErrorWithResponseMissingField("refreshToken"); }, 0,
         "A required response field with name refreshToken is missing", nullptr},
        {"network", [] { return Util::networkErrorWithError(kOffline); }, 2, "Network connection error.", &kOffline},
        {"backoff", [] { return Util::backoffIntervalWaitError(); }, 2, "Too many server requests.", nullptr},
        {"API", [] { return platform::Error(serviceUnavailable()); }, 0,
         "The server responded with an error: \n - URL: http://127.0.0.1/v1/projects/demo/installations \n - HTTP "
         "status code: 503 \n - Response body: x",
         nullptr},
        {"no reason, no underlying error",
         [] { return Util::installationsErrorWithCode(HLOInstallationsErrorCode::unknown, std::nullopt, nullptr); }, 0,
         "Underlying error: (null)", nullptr},
        {"no reason",
         [] { return Util::installationsErrorWithCode(HLOInstallationsErrorCode::keychain, std::nullopt, &kOffline); },
         1, "Underlying error: The Internet connection appears to be offline.", &kOffline},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const platform::Error error = test.make();
        EXPECT_EQ(error.domain(), "com.halo.installations");
        EXPECT_EQ(error.code(), test.code);
        EXPECT_EQ(error.failureReason(), test.reason);
        if (test.underlying == nullptr) {
            EXPECT_EQ(error.underlyingError(), nullptr);
        } else {
            ASSERT_NE(error.underlyingError(), nullptr);
            EXPECT_EQ(error.underlyingError()->domain(), test.underlying->domain());
            EXPECT_EQ(error.underlyingError()->code(), test.underlying->code());
        }
    }
}

TEST_F(InstallationsErrorsTest, HTTPErrorKeepsTheAnswer) {
    const auto error = serviceUnavailable();
    EXPECT_EQ(error.HTTPResponse().statusCode, 503);
    EXPECT_EQ(error.HTTPResponse().headers.at("Content-Type"), "text/plain");
    EXPECT_EQ(error.data(), std::vector<std::uint8_t>{'x'});

    // A body that is not UTF-8 has no text.
    const auto binary = Util::APIErrorWithHTTPResponse({"http://127.0.0.1/", 500, {}}, {0xff, 0xfe});
    EXPECT_EQ(binary.failureReason(),
              "The server responded with an error: \n - URL: http://127.0.0.1/ \n - HTTP status code: 500 \n - "
              "Response body: (null)");
}

TEST_F(InstallationsErrorsTest, APIErrorHoldsForItsStatusOnly) {
    const auto error = serviceUnavailable();
    EXPECT_TRUE(Util::isAPIError(error, 503));
    for (const long status : {0L, 200L, 404L, 500L, 504L}) {
        EXPECT_FALSE(Util::isAPIError(error, status)) << status;
    }
    // The same code and domain without the answer is no server error.
    EXPECT_FALSE(Util::isAPIError(platform::Error("com.halo.installations", 0, "x"), 503));
    EXPECT_FALSE(Util::isAPIError(platform::Error("HTTP", 503, "x"), 503));

    // Through a rejected promise the error keeps its type.
    const auto promise = Util::rejectedPromiseWithError(std::make_shared<const HLOInstallationsHTTPError>(error));
    ASSERT_TRUE(promise.isRejected());
    EXPECT_TRUE(Util::isAPIError(*promise.error(), 503));
}

TEST_F(InstallationsErrorsTest, PublicDomainErrorKeepsOursAndWrapsOthers) {
    const promises::ErrorPointer ours =
        std::make_shared<const platform::Error>(Util::installationItemNotFoundForAppID("X", "Y"));
    EXPECT_EQ(Util::publicDomainErrorWithError(ours), ours);
    const promises::ErrorPointer http = std::make_shared<const HLOInstallationsHTTPError>(serviceUnavailable());
    EXPECT_EQ(Util::publicDomainErrorWithError(http), http);

    const promises::ErrorPointer offline = std::make_shared<const platform::Error>(kOffline);
    const auto wrapped = Util::publicDomainErrorWithError(offline);
    ASSERT_NE(wrapped, offline);
    EXPECT_EQ(wrapped->domain(), "com.halo.installations");
    EXPECT_EQ(wrapped->code(), 0);
    EXPECT_EQ(wrapped->failureReason(), "Underlying error: The Internet connection appears to be offline.");
    ASSERT_NE(wrapped->underlyingError(), nullptr);
    EXPECT_EQ(wrapped->underlyingError()->domain(), "NSURLErrorDomain");
    EXPECT_EQ(wrapped->underlyingError()->code(), -1009);
}

TEST_F(InstallationsErrorsTest, RejectedPromiseCarriesTheSameErrorObject) {
    const promises::ErrorPointer error = std::make_shared<const platform::Error>(Util::backoffIntervalWaitError());
    const auto promise = Util::rejectedPromiseWithError<std::string>(error);
    EXPECT_TRUE(promise.isRejected());
    EXPECT_EQ(promise.error(), error);
}

TEST_F(InstallationsErrorsTest, NotFoundIsToldApartFromOtherErrors) {
    struct Case {
        platform::Error error;
        bool notFound;
    };
    const std::vector<Case> cases = {
        {Util::installationItemNotFoundForAppID("1:2:ios:3", "__HLOAPP_DEFAULT"), true},
        {Util::installationItemNotFoundForAppID("", ""), true},
        {Util::corruptedIIDTokenData(), false},
        {Util::keychainErrorWithFunction("SecItemCopyMatching", 5), false},
        {platform::Error("NSCocoaErrorDomain", 4864, "Installation for appID X appName Y not found"), false},
        {platform::Error("com.lmu.keychain.ErrorDomain", 0, "x")
             .withFailureReason("Installation for appID X appName Y not found"),
         false},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(Util::isInstallationItemNotFoundError(test.error), test.notFound) << test.error.failureReason();
    }
}

}  // namespace
}  // namespace kit::installations
