#pragma once

// Private to the promises: helpers the templates of PRMPromise.h need.

#include "platform/Error.h"
#include "platform/concurrency/Executor.h"
#include "platform/concurrency/OperationQueue.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace kit::promises {

// The null object: the value of a promise that carries nothing.
struct Null {
    bool operator==(const Null&) const = default;
};

using Queue = std::shared_ptr<platform::Executor>;
// Errors travel by pointer so that one reaches every observer as the same
// object, with its own type, however often it is passed on.
using ErrorPointer = std::shared_ptr<const platform::Error>;

template <typename T>
class PRMPromise;
template <typename T>
class Resolution;

namespace detail {

[[noreturn]] void throwInvalidParameter(std::string_view name);
[[noreturn]] void throwNoPromisesToObserve();

platform::Group& promiseGroup();

// Runs timer blocks on the timer's own thread; they only hand work on to a
// queue, so they never hold up other timers.
platform::Executor& timerExecutor();

// Seconds as nanoseconds within [0, 10 years]; NaN counts as 0.
std::chrono::nanoseconds clampedInterval(double seconds) noexcept;

// The rejection for what the running catch handler caught.
ErrorPointer currentExceptionError();

std::string addressText(const void* address);
std::string errorDescription(const platform::Error& error);

// Destroys `garbage`, or, while this thread is already inside such a
// release, queues it for that release's loop: a chain of promises each
// holding the next through its observers is then freed link by link instead
// of one stack frame deeper per link.
void releaseIteratively(std::shared_ptr<void> garbage) noexcept;

// One entry of the promise group for as long as this object (or a copy of
// it) lives: captured by a queued callback, it keeps the group busy until
// the callback has run or been dropped.
class GroupMembership {
public:
    GroupMembership() { promiseGroup().enter(); }
    GroupMembership(const GroupMembership&) { promiseGroup().enter(); }
    GroupMembership& operator=(const GroupMembership&) { return *this; }
    ~GroupMembership() { promiseGroup().leave(); }
};

template <typename T>
struct IsPromise : std::false_type {};
template <typename U>
struct IsPromise<PRMPromise<U>> : std::true_type {};

template <typename T>
struct IsResolution : std::false_type {};
template <typename U>
struct IsResolution<Resolution<U>> : std::true_type {};

// The value type of what a callback returns: a plain value, a Resolution<U>
// or a PRMPromise<U>; nothing at all stands for Null.
template <typename R>
struct ResolvedValue {
    static_assert(!std::is_base_of_v<platform::Error, R>,
                  "a callback that may reject returns Resolution<T>, not a bare error");
    using type = R;
};
template <typename U>
struct ResolvedValue<Resolution<U>> {
    using type = U;
};
template <typename U>
struct ResolvedValue<PRMPromise<U>> {
    using type = U;
};
template <>
struct ResolvedValue<void> {
    using type = Null;
};

template <typename F, typename... Arguments>
using ResolvedValueOf = typename ResolvedValue<std::remove_cvref_t<std::invoke_result_t<F&, Arguments...>>>::type;

template <typename T>
struct IsFunction : std::false_type {};
template <typename Signature>
struct IsFunction<std::function<Signature>> : std::true_type {};

// An empty std::function or a null function pointer is a missing block.
template <typename F>
void require(const F& block, std::string_view name) {
    if constexpr (IsFunction<F>::value) {
        if (!block) {
            throwInvalidParameter(name);
        }
    } else if constexpr (std::is_pointer_v<F>) {
        if (block == nullptr) {
            throwInvalidParameter(name);
        }
    }
}

inline void requireQueue(const Queue& queue) {
    if (!queue) {
        throwInvalidParameter("queue");
    }
}

// Calls `block` with the error as the callback asks for it: the error
// itself, or the pointer that keeps its identity.
template <typename F>
decltype(auto) invokeWithError(F& block, const ErrorPointer& error) {
    if constexpr (std::is_invocable_v<F&, const platform::Error&>) {
        return block(*error);
    } else {
        return block(error);
    }
}

// Calls a callback and turns what it returns into a Resolution<U>; what it
// throws becomes a rejection.
template <typename U, typename Call>
Resolution<U> resolutionOf(Call&& call) {
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Call&>>) {
            call();
            return Resolution<U>(Null{});
        } else {
            return Resolution<U>(call());
        }
    } catch (...) {
        return Resolution<U>(currentExceptionError());
    }
}

template <typename T>
struct IsOptional : std::false_type {};
template <typename U>
struct IsOptional<std::optional<U>> : std::true_type {};

template <typename T>
struct IsVector : std::false_type {};
template <typename U>
struct IsVector<std::vector<U>> : std::true_type {};

template <typename T>
struct IsPair : std::false_type {};
template <typename A, typename B>
struct IsPair<std::pair<A, B>> : std::true_type {};

template <typename T>
concept Streamable = requires(std::ostream& stream, const T& value) {
    stream << value;
};

// A value as `description` shows it.
template <typename T>
std::string describeValue(const T& value) {
    if constexpr (std::is_same_v<T, Null>) {
        return "<null>";
    } else if constexpr (std::is_same_v<T, bool>) {
        return value ? "1" : "0";
    } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
        return std::string(std::string_view(value));
    } else if constexpr (IsOptional<T>::value) {
        return value ? describeValue(*value) : std::string("(null)");
    } else if constexpr (IsVector<T>::value) {
        std::string text = "(";
        for (std::size_t index = 0; index < value.size(); ++index) {
            text += (index == 0 ? "" : ", ") + describeValue(value[index]);
        }
        return text + ")";
    } else if constexpr (IsPair<T>::value) {
        return "(" + describeValue(value.first) + ", " + describeValue(value.second) + ")";
    } else if constexpr (Streamable<T>) {
        std::ostringstream stream;
        stream << value;
        return stream.str();
    } else {
        return "<value>";
    }
}

}  // namespace detail
}  // namespace kit::promises
