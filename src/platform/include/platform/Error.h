#pragma once

#include <concepts>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace platform {

class Value;

// The codes of one error domain: an enumeration with a function
// `errorDomain(code)`, found by argument-dependent lookup, naming its
// domain. Each library lists its domains and their codes in one header
// (platform/ErrorCodes.h for this one), so a code never means two things.
template <typename Code>
concept ErrorCode = std::is_enum_v<Code> && requires(Code code) {
    { errorDomain(code) } -> std::convertible_to<std::string_view>;
};

// The one error that generators and writers throw: a domain naming the
// component ("XLSXGenerator", "PDFGeneration", "OutputFile", …), a code of
// that domain, a message fit to show the user, and optionally the error
// below it: the OS reason (kPOSIXErrorDomain) or the failure of a library
// or layer we called.
class Error : public std::runtime_error {
public:
    template <ErrorCode Code>
    Error(Code code, const std::string& message)
        : Error(std::string(errorDomain(code)), static_cast<int>(code), message) {}
    template <ErrorCode Code>
    Error(Code code, const std::string& message, const Error& underlying)
        : Error(std::string(errorDomain(code)), static_cast<int>(code), message, underlying) {}

    // For domains whose codes are not ours: the OS's, a library's.
    Error(std::string domain, int code, const std::string& message)
        : std::runtime_error(message), domain_(std::move(domain)), code_(code) {}
    Error(std::string domain, int code, const std::string& message, const Error& underlying)
        : std::runtime_error(message),
          domain_(std::move(domain)),
          code_(code),
          underlying_(std::make_shared<const Error>(underlying)) {}

    const std::string& domain() const noexcept { return domain_; }
    int code() const noexcept { return code_; }

    // The error this one was made from; nullptr when it is the first.
    const Error* underlyingError() const noexcept { return underlying_.get(); }

    // True when this error is `code` of its domain.
    template <ErrorCode Code>
    bool is(Code code) const noexcept {
        return code_ == static_cast<int>(code) && domain_ == errorDomain(code);
    }

    // Why it failed, beside the message (the analytics kit's errors carry
    // one); empty when there is none.
    const std::string& failureReason() const noexcept;
    // Facts about the failure, keyed by name (a dictionary Value); an empty
    // dictionary when there are none.
    const Value& userInfo() const noexcept;

    // The same error with a failure reason or user info added.
    Error withFailureReason(std::string reason) const;
    Error withUserInfo(Value userInfo) const;

private:
    struct Details {
        std::string failureReason;
        std::shared_ptr<const Value> userInfo;
    };

    std::string domain_;
    int code_;
    // Shared so that copying an error (as exceptions are) never throws.
    std::shared_ptr<const Error> underlying_;
    std::shared_ptr<const Details> details_;
};

// The domain of OS reasons; the code is the errno value.
inline constexpr std::string_view kPOSIXErrorDomain = "POSIX";

// The OS reason for `errorNumber`, e.g. "No such file or directory".
Error posixError(int errorNumber);

// The errno of the OS reason anywhere under `error`, or 0 when there is none.
int posixReason(const Error& error) noexcept;

// `code` with the message `<what> "<path>": <OS reason>` and the OS reason
// as the underlying error.
Error systemError(std::string domain, int code, const std::string& what, const std::filesystem::path& path,
                  int errorNumber);

template <ErrorCode Code>
Error systemError(Code code, const std::string& what, const std::filesystem::path& path, int errorNumber) {
    return systemError(std::string(errorDomain(code)), static_cast<int>(code), what, path, errorNumber);
}

}  // namespace platform
