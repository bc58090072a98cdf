#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The optional private-set-membership client of on-device conversion
// measurement. It lives in a library of its own that the program does not
// contain: the controller looks its class up by name in
// kit::classRegistry() and does nothing but log when none is registered.
// Tests register fakes.
namespace kit::measurement {

// The kind of user data a client was made with.
enum class MSRPSMInputType : std::int64_t {
    emailAddress = 1,
    phoneNumber = 2,
    hashedEmailAddress = 3,
    hashedPhoneNumber = 4,
};

// One request's client: the URL to fetch and the reading of its answer.
class MSRPrivateSetMembershipClient {
public:
    virtual ~MSRPrivateSetMembershipClient() = default;
    // The query URL for this attempt; none when it cannot be made.
    virtual std::optional<std::string> PSMRequestURLWithRetryCount(std::int32_t retryCount) = 0;
    // Any value other than 2, 3 and 4 counts as an e-mail address.
    virtual std::int64_t inputType() const = 0;
    // The match value in the answer's body; empty when there is none.
    virtual std::string parsedPSMValueFromResponse(std::span<const std::uint8_t> body) = 0;
    // A key the service takes for debug answers; none when the client has none.
    virtual std::optional<std::string> debugKey() const { return std::nullopt; }
};

// The client's class: what it can be made from. An empty initialiser is
// one the class does not offer.
struct MSRPrivateSetMembershipClientClass {
    static constexpr std::string_view kClassName = "MSRPrivateSetMembershipClient";

    using Client = std::shared_ptr<MSRPrivateSetMembershipClient>;
    using TextInitializer = std::function<Client(std::string_view input, std::string_view appID)>;
    using PrefixedTextInitializer =
        std::function<Client(std::string_view input, std::string_view appID, std::int64_t prefixBitLength)>;
    using PrefixedHashInitializer = std::function<Client(std::span<const std::uint8_t> hashedInput,
                                                         std::string_view appID, std::int64_t prefixBitLength)>;

    TextInitializer initWithEmailAddress;
    PrefixedTextInitializer initWithEmailAddressPrefixBitLength;
    TextInitializer initWithPhoneNumber;
    PrefixedTextInitializer initWithPhoneNumberPrefixBitLength;
    PrefixedHashInitializer initWithHashedEmailAddress;
    PrefixedHashInitializer initWithHashedPhoneNumber;
};

}  // namespace kit::measurement
