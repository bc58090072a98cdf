#pragma once

#include "platform/Error.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

// A value or the error that stands in its place: what the analytics kit's
// operations answer where a caller must look at the failure rather than
// catch it. (GCC 12 has no std::expected.)
namespace platform {

// Wraps an error so that it converts into any Expected<T>.
struct Unexpected {
    Error error;
};

inline Unexpected unexpected(Error error) { return Unexpected{std::move(error)}; }

template <typename T>
class [[nodiscard]] Expected {
public:
    using value_type = T;

    Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
    Expected(Unexpected failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}  // NOLINT

    bool hasValue() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return hasValue(); }

    // The value; asking a failure for it throws its error.
    T& value() & {
        throwIfFailed();
        return std::get<0>(state_);
    }
    const T& value() const& {
        throwIfFailed();
        return std::get<0>(state_);
    }
    T&& value() && {
        throwIfFailed();
        return std::get<0>(std::move(state_));
    }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    template <typename U>
    T valueOr(U&& fallback) const& {
        return hasValue() ? std::get<0>(state_) : static_cast<T>(std::forward<U>(fallback));
    }

    // The error; asking a value for it is a programming mistake.
    const Error& error() const {
        if (hasValue()) {
            throw std::logic_error("Expected holds a value, not an error");
        }
        return std::get<1>(state_);
    }

private:
    void throwIfFailed() const {
        if (!hasValue()) {
            throw std::get<1>(state_);
        }
    }

    std::variant<T, Error> state_;
};

// Success without a value, or an error: the kit's "flag plus error".
template <>
class [[nodiscard]] Expected<void> {
public:
    using value_type = void;

    Expected() = default;
    Expected(Unexpected failure) : error_(std::move(failure.error)) {}  // NOLINT: implicit by design

    bool hasValue() const noexcept { return !error_.has_value(); }
    explicit operator bool() const noexcept { return hasValue(); }
    void value() const {
        if (error_) {
            throw *error_;
        }
    }
    const Error& error() const {
        if (!error_) {
            throw std::logic_error("Expected holds a value, not an error");
        }
        return *error_;
    }

private:
    std::optional<Error> error_;
};

}  // namespace platform
