#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The kit's messages are written printf-style with "%@" for an object. They
// are filled here from typed arguments: a message is never handed to printf
// as a format, so a stray "%n" or a missing argument cannot read or write
// memory.
namespace platform {

class MessageArgument {
public:
    MessageArgument(std::string_view text) : value_(std::string(text)) {}  // NOLINT: implicit by design
    MessageArgument(const std::string& text) : value_(text) {}             // NOLINT
    MessageArgument(const char* text) : value_(std::string(text != nullptr ? text : "(null)")) {}  // NOLINT
    MessageArgument(bool value) : value_(static_cast<std::int64_t>(value)) {}                      // NOLINT
    MessageArgument(int value) : value_(static_cast<std::int64_t>(value)) {}                       // NOLINT
    MessageArgument(long value) : value_(static_cast<std::int64_t>(value)) {}                      // NOLINT
    MessageArgument(long long value) : value_(static_cast<std::int64_t>(value)) {}                 // NOLINT
    MessageArgument(unsigned value) : value_(static_cast<std::uint64_t>(value)) {}                 // NOLINT
    MessageArgument(unsigned long value) : value_(static_cast<std::uint64_t>(value)) {}            // NOLINT
    MessageArgument(unsigned long long value) : value_(static_cast<std::uint64_t>(value)) {}       // NOLINT
    MessageArgument(double value) : value_(value) {}                                               // NOLINT

    using Storage = std::variant<std::string, std::int64_t, std::uint64_t, double>;
    const Storage& value() const noexcept { return value_; }

private:
    Storage value_;
};

// Fills `format`'s conversions (%@ %s %d %i %u %ld %lld %lu %zu %x %X %f %g
// %e %c %%, with flags, width and precision such as "%06ld" or "%.2f") from
// `arguments` in order. A conversion without an argument becomes "(null)";
// one that does not fit its argument's type shows the argument as it is.
std::string formatMessage(std::string_view format, const std::vector<MessageArgument>& arguments);

}  // namespace platform
