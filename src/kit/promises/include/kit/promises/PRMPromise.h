#pragma once

#include "kit/promises/PromiseError.h"
#include "kit/promises/detail/State.h"
#include "kit/promises/detail/Support.h"

#include "platform/Error.h"
#include "platform/Expected.h"
#include "platform/ProgrammerError.h"
#include "platform/concurrency/Executor.h"
#include "platform/concurrency/OperationQueue.h"
#include "platform/concurrency/Timers.h"

#include <concepts>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// Promises of the analytics kit: a value or an error that arrives later,
// settled once from any thread, whose callbacks run on queues of the
// caller's choosing, never on the caller's stack and never under a lock.
//
// Every combinator takes an optional queue first; without one it runs its
// callbacks on the default queue (the main queue unless set). A callback
// that throws rejects the promise it feeds with a code-0 error in
// `promiseErrorDomain` carrying what it threw. A missing queue or block is a
// platform::ProgrammerError ("Invalid parameter not satisfying: <name>").
//
// `catch` and `do` are C++ keywords: the trailing underscore keeps the names.
namespace kit::promises {

// What a callback may hand on: a value fulfils, an error rejects, a promise
// is followed until it settles.
template <typename T>
class Resolution {
public:
    Resolution(T value) : content_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
    template <typename V>
    requires(!std::is_same_v<std::remove_cvref_t<V>, T> &&
             !std::is_base_of_v<platform::Error, std::remove_cvref_t<V>> &&
             !detail::IsPromise<std::remove_cvref_t<V>>::value &&
             !detail::IsResolution<std::remove_cvref_t<V>>::value &&
             !std::is_same_v<std::remove_cvref_t<V>, ErrorPointer> && std::is_constructible_v<T, V&&>)
        Resolution(V&& value)
        : content_(std::in_place_index<0>, T(std::forward<V>(value))) {}  // NOLINT
    template <typename E>
    requires std::is_base_of_v<platform::Error, E> Resolution(const E& error)
        : content_(std::in_place_index<1>, std::make_shared<const E>(error)) {}            // NOLINT
    Resolution(ErrorPointer error) : content_(std::in_place_index<1>, std::move(error)) {  // NOLINT
        if (!std::get<1>(content_)) {
            detail::throwInvalidParameter("error");
        }
    }
    Resolution(PRMPromise<T> promise) : content_(std::in_place_index<2>, std::move(promise)) {}  // NOLINT

    bool isValue() const noexcept { return content_.index() == 0; }
    bool isError() const noexcept { return content_.index() == 1; }
    bool isPromise() const noexcept { return content_.index() == 2; }

    const T& value() const { return std::get<0>(content_); }
    T& value() { return std::get<0>(content_); }
    const ErrorPointer& error() const { return std::get<1>(content_); }
    const PRMPromise<T>& promise() const { return std::get<2>(content_); }

private:
    std::variant<T, ErrorPointer, PRMPromise<T>> content_;
};

using RetryPredicate = std::function<bool(int remainingAttempts, const platform::Error& error)>;
inline constexpr int defaultRetryAttempts = 1;
inline constexpr double defaultRetryDelaySeconds = 1.0;

// Class-wide state and the class operations whose result type follows from
// their block; reached as PRMPromise<>::….
class PromiseClass {
public:
    // The queue of every combinator called without one. Until set, the main
    // queue as installed at the time of the call.
    static Queue defaultDispatchQueue();
    static void setDefaultDispatchQueue(Queue queue);
    static void resetDefaultDispatchQueue();  // tests

    // Counts pending promises and queued callbacks of the whole process.
    static platform::Group& dispatchGroup();

    // Tests: true once no promise is pending and no callback is queued or
    // running, false when `timeoutSeconds` pass first. On the main queue's
    // own thread the main queue keeps being drained meanwhile.
    static bool waitForAllPromises(double timeoutSeconds);

    // The clock of delay, timeout and retry (the system's until set).
    static std::shared_ptr<platform::SchedulingClock> schedulingClock();
    static void setSchedulingClock(std::shared_ptr<platform::SchedulingClock> clock);
    static void resetSchedulingClock();  // tests

    // A promise of what `work` returns, `work` running on the queue.
    template <typename F>
    static auto do_(F work) {
        return do_(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    static auto do_(Queue queue, F work);

    // Runs `work` again after a failure, up to `count` more times, `delay`
    // seconds apart, while `predicate` (if any) agrees; rejects with the last
    // error.
    template <typename F>
    static auto retry(F work) {
        return attempts(defaultDispatchQueue(), defaultRetryAttempts, defaultRetryDelaySeconds, {}, std::move(work));
    }
    template <typename F>
    static auto retry(Queue queue, F work) {
        return attempts(std::move(queue), defaultRetryAttempts, defaultRetryDelaySeconds, {}, std::move(work));
    }
    template <typename F>
    static auto attempts(int count, F work) {
        return attempts(defaultDispatchQueue(), count, defaultRetryDelaySeconds, {}, std::move(work));
    }
    template <typename F>
    static auto attempts(Queue queue, int count, F work) {
        return attempts(std::move(queue), count, defaultRetryDelaySeconds, {}, std::move(work));
    }
    template <typename F>
    static auto attempts(int count, double delaySeconds, RetryPredicate predicate, F work) {
        return attempts(defaultDispatchQueue(), count, delaySeconds, std::move(predicate), std::move(work));
    }
    template <typename F>
    static auto attempts(Queue queue, int count, double delaySeconds, RetryPredicate predicate, F work);

    // Completion-handler interfaces as promises: `work` runs on the queue
    // and is handed a handler that settles the promise.
    using Completion = std::function<void()>;
    using ErrorCompletion = std::function<void(const std::optional<platform::Error>&)>;
    using BoolCompletion = std::function<void(bool)>;
    using BoolOrErrorCompletion = std::function<void(bool, const std::optional<platform::Error>&)>;
    using IntegerCompletion = std::function<void(std::int64_t)>;
    using IntegerOrErrorCompletion = std::function<void(std::int64_t, const std::optional<platform::Error>&)>;
    using DoubleCompletion = std::function<void(double)>;
    using DoubleOrErrorCompletion = std::function<void(double, const std::optional<platform::Error>&)>;
    template <typename A, typename B>
    using TwoObjectsOrErrorCompletion = std::function<void(A, B, const std::optional<platform::Error>&)>;

    template <typename F>
    static auto wrapCompletion(F work) {
        return wrapCompletion(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    static PRMPromise<Null> wrapCompletion(Queue queue, F work);
    template <typename F>
    static auto wrapErrorCompletion(F work) {
        return wrapErrorCompletion(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    static PRMPromise<Null> wrapErrorCompletion(Queue queue, F work);
    template <typename A, typename B, typename F>
    static auto wrap2ObjectsOrErrorCompletion(F work) {
        return wrap2ObjectsOrErrorCompletion<A, B>(defaultDispatchQueue(), std::move(work));
    }
    template <typename A, typename B, typename F>
    static PRMPromise<std::pair<A, B>> wrap2ObjectsOrErrorCompletion(Queue queue, F work);
    template <typename F>
    static auto wrapBoolCompletion(F work) {
        return wrapBoolCompletion(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    static PRMPromise<bool> wrapBoolCompletion(Queue queue, F work);
    template <typename F>
    static auto wrapBoolOrErrorCompletion(F work) {
        return wrapBoolOrErrorCompletion(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    static PRMPromise<bool> wrapBoolOrErrorCompletion(Queue queue, F work);
    template <typename F>
    static auto wrapIntegerCompletion(F work) {
        return wrapIntegerCompletion(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    static PRMPromise<std::int64_t> wrapIntegerCompletion(Queue queue, F work);
    template <typename F>
    static auto wrapIntegerOrErrorCompletion(F work) {
        return wrapIntegerOrErrorCompletion(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    static PRMPromise<std::int64_t> wrapIntegerOrErrorCompletion(Queue queue, F work);
    template <typename F>
    static auto wrapDoubleCompletion(F work) {
        return wrapDoubleCompletion(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    static PRMPromise<double> wrapDoubleCompletion(Queue queue, F work);
    template <typename F>
    static auto wrapDoubleOrErrorCompletion(F work) {
        return wrapDoubleOrErrorCompletion(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    static PRMPromise<double> wrapDoubleOrErrorCompletion(Queue queue, F work);

protected:
    // Settles `result` from a handler with an optional error.
    template <typename U>
    static void settleOrReject(const PRMPromise<U>& result, U value, const std::optional<platform::Error>& error);

    template <typename U, typename Handler, typename F, typename MakeHandler>
    static PRMPromise<U> wrap(Queue queue, F work, MakeHandler makeHandler);

private:
    template <typename U, typename F>
    struct RetryRun {
        Queue queue;
        std::shared_ptr<platform::SchedulingClock> clock;
        std::chrono::nanoseconds delay;
        RetryPredicate predicate;
        F work;
        PRMPromise<U> result;
    };
    template <typename U, typename F>
    static void retryAttempt(const std::shared_ptr<RetryRun<U, F>>& run, int remaining);
    template <typename U, typename F>
    static void retryFailed(const std::shared_ptr<RetryRun<U, F>>& run, int remaining, const ErrorPointer& error);
};

// A handle to one promise; copies share it. Handles are never empty.
template <typename T = Null>
class PRMPromise : public PromiseClass {
    static_assert(std::is_copy_constructible_v<T>, "a promise hands copies of its value to each observer");

public:
    using value_type = T;
    using Fulfiller = std::function<void(Resolution<T>)>;
    using Rejecter = std::function<void(const platform::Error&)>;
    using ObjectCompletion = std::function<void(T)>;
    using ObjectOrErrorCompletion = std::function<void(T, const std::optional<platform::Error>&)>;
    using ErrorOrObjectCompletion = std::function<void(const std::optional<platform::Error>&, T)>;

    PRMPromise(const PRMPromise&) = default;
    PRMPromise& operator=(const PRMPromise&) = default;
    // No move: a moved-from handle would be empty.

    static PRMPromise pendingPromise() { return PRMPromise(std::make_shared<detail::State<T>>()); }

    // Already settled (a promise given is returned as it is).
    static PRMPromise resolvedWith(Resolution<T> resolution) {
        if (resolution.isPromise()) {
            return resolution.promise();
        }
        if (resolution.isError()) {
            return PRMPromise(std::make_shared<detail::State<T>>(resolution.error()));
        }
        return PRMPromise(std::make_shared<detail::State<T>>(std::move(resolution.value())));
    }

    // A value fulfils, an error rejects, a promise is followed (through the
    // default queue). Only the first settlement counts.
    void fulfill(Resolution<T> resolution) const {
        if (resolution.isPromise()) {
            follow(defaultDispatchQueue(), resolution.promise());
        } else {
            resolveOn(nullptr, std::move(resolution));
        }
    }
    template <typename E>
    requires std::is_base_of_v<platform::Error, E>
    void reject(const E& error) const { state_->reject(std::make_shared<const E>(error)); }
    void reject(ErrorPointer error) const {
        if (!error) {
            detail::throwInvalidParameter("error");
        }
        state_->reject(std::move(error));
    }

    bool isPending() const { return state_->phase() == detail::Phase::pending; }
    bool isFulfilled() const { return state_->phase() == detail::Phase::fulfilled; }
    bool isRejected() const { return state_->phase() == detail::Phase::rejected; }
    std::optional<T> value() const { return state_->value(); }
    ErrorPointer error() const { return state_->error(); }

    // Objects kept alive while the promise is pending.
    std::vector<std::shared_ptr<void>> pendingObjects() const { return state_->pendingObjects(); }
    void addPendingObject(std::shared_ptr<void> object) const {
        if (!object) {
            detail::throwInvalidParameter("object");
        }
        state_->addPendingObject(std::move(object));
    }

    // Calls exactly one of the blocks on `queue` once the promise settles
    // (later, also when it has settled already).
    void observeOnQueue(Queue queue, std::function<void(const T&)> onFulfill,
                        std::function<void(const platform::Error&)> onReject) const {
        detail::requireQueue(queue);
        detail::require(onFulfill, "onFulfill");
        detail::require(onReject, "onReject");
        state_->observe(queue, std::move(onFulfill),
                        [onReject = std::move(onReject)](const ErrorPointer& error) { onReject(*error); });
    }

    // The same, handing the rejection as the very error object the promise
    // holds, so an observer need not keep the promise to reach it.
    void observeErrorPointerOnQueue(Queue queue, std::function<void(const T&)> onFulfill,
                                    std::function<void(const ErrorPointer&)> onReject) const {
        detail::requireQueue(queue);
        detail::require(onFulfill, "onFulfill");
        detail::require(onReject, "onReject");
        state_->observe(queue, std::move(onFulfill), std::move(onReject));
    }

    // A new promise settled by the transforms' results; a missing transform
    // passes the value or the error on as it is.
    template <typename U = T>
    PRMPromise<U> chainOnQueue(Queue queue, std::function<Resolution<U>(const T&)> chainedFulfill,
                               std::function<Resolution<U>(const platform::Error&)> chainedReject = {}) const {
        detail::requireQueue(queue);
        if constexpr (!std::is_same_v<U, T>) {
            detail::require(chainedFulfill, "chainedFulfill");
        }
        return chain<U>(
            queue,
            [chainedFulfill = std::move(chainedFulfill)](const T& value) -> Resolution<U> {
                if constexpr (std::is_same_v<U, T>) {
                    if (!chainedFulfill) {
                        return Resolution<U>(value);
                    }
                }
                return detail::resolutionOf<U>([&] { return chainedFulfill(value); });
            },
            [chainedReject = std::move(chainedReject)](const ErrorPointer& error) -> Resolution<U> {
                if (!chainedReject) {
                    return Resolution<U>(error);
                }
                return detail::resolutionOf<U>([&] { return chainedReject(*error); });
            });
    }

    // "<PRMPromise 0x…> Pending", "… Fulfilled: <value>" or "… Rejected: <error>".
    std::string description() const {
        const std::string head = "<PRMPromise " + detail::addressText(state_.get()) + "> ";
        switch (state_->phase()) {
        case detail::Phase::pending:
            return head + "Pending";
        case detail::Phase::fulfilled:
            return head + "Fulfilled: " + detail::describeValue(*state_->value());
        case detail::Phase::rejected:
            break;
        }
        return head + "Rejected: " + detail::errorDescription(*state_->error());
    }

    bool operator==(const PRMPromise& other) const noexcept { return state_ == other.state_; }

    // --- Combinators on a promise ---

    // work(value) → resolution of U; a rejection passes through.
    template <typename F>
    auto then(F work) const {
        return then(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    auto then(Queue queue, F work) const {
        using U = detail::ResolvedValueOf<F, const T&>;
        detail::requireQueue(queue);
        detail::require(work, "work");
        return chain<U>(
            queue,
            [work = std::move(work)](const T& value) mutable {
                return detail::resolutionOf<U>([&]() -> decltype(auto) { return work(value); });
            },
            passError<U>());
    }

    // reject(error) runs, and the result stays rejected with the same error.
    template <typename F>
    PRMPromise catch_(F reject) const {
        return catch_(defaultDispatchQueue(), std::move(reject));
    }
    template <typename F>
    PRMPromise catch_(Queue queue, F reject) const {
        detail::requireQueue(queue);
        detail::require(reject, "reject");
        return chain<T>(queue, passValue(),
                        [reject = std::move(reject)](const ErrorPointer& error) mutable -> Resolution<T> {
                            try {
                                detail::invokeWithError(reject, error);
                            } catch (...) {
                                return Resolution<T>(detail::currentExceptionError());
                            }
                            return Resolution<T>(error);
                        });
    }

    // recovery(error) → resolution of T.
    template <typename F>
    PRMPromise recover(F recovery) const {
        return recover(defaultDispatchQueue(), std::move(recovery));
    }
    template <typename F>
    PRMPromise recover(Queue queue, F recovery) const {
        detail::requireQueue(queue);
        detail::require(recovery, "recovery");
        return chain<T>(queue, passValue(), [recovery = std::move(recovery)](const ErrorPointer& error) mutable {
            return detail::resolutionOf<T>(
                [&]() -> decltype(auto) { return detail::invokeWithError(recovery, error); });
        });
    }

    // predicate(value) false rejects with a validation failure (code 2).
    template <typename F>
    PRMPromise validate(F predicate) const {
        return validate(defaultDispatchQueue(), std::move(predicate));
    }
    template <typename F>
    PRMPromise validate(Queue queue, F predicate) const {
        detail::requireQueue(queue);
        detail::require(predicate, "predicate");
        return chain<T>(
            queue,
            [predicate = std::move(predicate)](const T& value) mutable -> Resolution<T> {
                try {
                    if (predicate(value)) {
                        return Resolution<T>(value);
                    }
                } catch (...) {
                    return Resolution<T>(detail::currentExceptionError());
                }
                return Resolution<T>(promiseError(PromiseErrorCode::validationFailure));
            },
            passError<T>());
    }

    // work() runs on either outcome, which passes on unchanged.
    template <typename F>
    PRMPromise always(F work) const {
        return always(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    PRMPromise always(Queue queue, F work) const {
        detail::require(work, "work");
        detail::requireQueue(queue);
        auto shared = std::make_shared<F>(std::move(work));
        return chain<T>(
            queue,
            [shared](const T& value) -> Resolution<T> {
                try {
                    (*shared)();
                } catch (...) {
                    return Resolution<T>(detail::currentExceptionError());
                }
                return Resolution<T>(value);
            },
            [shared](const ErrorPointer& error) -> Resolution<T> {
                try {
                    (*shared)();
                } catch (...) {
                    return Resolution<T>(detail::currentExceptionError());
                }
                return Resolution<T>(error);
            });
    }

    // The value, `seconds` later; a rejection at once.
    PRMPromise delay(double seconds) const { return delay(defaultDispatchQueue(), seconds); }
    PRMPromise delay(Queue queue, double seconds) const {
        detail::requireQueue(queue);
        const auto interval = detail::clampedInterval(seconds);
        auto clock = schedulingClock();
        PRMPromise result = pendingPromise();
        state_->observe(
            queue,
            [result, queue, interval, clock](const T& value) {
                clock->after(interval, detail::timerExecutor(), [result, queue, value] {
                    queue->async([result, value] { result.state_->fulfill(value); });
                });
            },
            [result](const ErrorPointer& error) { result.state_->reject(error); });
        return result;
    }

    // Follows this promise, or rejects with a timeout (code 1) once `seconds`
    // have passed. The timer does not keep the result alive.
    PRMPromise timeout(double seconds) const { return timeout(defaultDispatchQueue(), seconds); }
    PRMPromise timeout(Queue queue, double seconds) const {
        detail::requireQueue(queue);
        PRMPromise result = chain<T>(queue, passValue(), passError<T>());
        std::weak_ptr<detail::State<T>> weakResult = result.state_;
        schedulingClock()->after(detail::clampedInterval(seconds), detail::timerExecutor(), [weakResult, queue] {
            queue->async([weakResult] {
                if (auto state = weakResult.lock()) {
                    state->reject(std::make_shared<const platform::Error>(promiseError(PromiseErrorCode::timedOut)));
                }
            });
        });
        return result;
    }

    // reducer(partial, item) → resolution of T, item by item in order; this
    // promise itself when there are no items.
    template <typename Item, typename F>
    PRMPromise reduce(std::vector<Item> items, F reducer) const {
        return reduce(defaultDispatchQueue(), std::move(items), std::move(reducer));
    }
    template <typename Item, typename F>
    PRMPromise reduce(Queue queue, std::vector<Item> items, F reducer) const {
        detail::requireQueue(queue);
        detail::require(reducer, "reducer");
        PRMPromise promise = *this;
        for (auto& item : items) {
            promise = promise.template chain<T>(
                queue,
                [reducer, item = std::move(item)](const T& partial) mutable {
                    return detail::resolutionOf<T>([&]() -> decltype(auto) { return reducer(partial, item); });
                },
                passError<T>());
        }
        return promise;
    }

    // --- Class operations of this value type ---

    // work(fulfil, reject) runs on the queue; fulfil follows a promise or
    // fulfils (an error rejects), reject rejects.
    template <typename F>
    static PRMPromise async(F work) {
        return async(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    static PRMPromise async(Queue queue, F work) {
        detail::requireQueue(queue);
        detail::require(work, "work");
        return startOn(std::move(queue),
                       [work = std::move(work)](const PRMPromise& result, const Queue& runQueue) mutable {
                           work(Fulfiller([result, runQueue](Resolution<T> resolution) {
                                    result.resolveOn(runQueue, std::move(resolution));
                                }),
                                Rejecter([result](const platform::Error& error) { result.reject(error); }));
                       });
    }

    // The values in input order once all are fulfilled; the first rejection
    // (or an error among the items, at once) rejects.
    static PRMPromise<std::vector<T>> all(std::vector<Resolution<T>> items) {
        return all(defaultDispatchQueue(), std::move(items));
    }
    static PRMPromise<std::vector<T>> all(Queue queue, std::vector<Resolution<T>> items);

    // Once every item has settled: their values and errors in input order if
    // any was fulfilled, else the error of the one that settled last.
    static PRMPromise<std::vector<platform::Expected<T>>> any(std::vector<Resolution<T>> items) {
        return any(defaultDispatchQueue(), std::move(items));
    }
    static PRMPromise<std::vector<platform::Expected<T>>> any(Queue queue, std::vector<Resolution<T>> items);

    // The first settlement wins; a plain value or error among the items
    // settles the result at once.
    static PRMPromise race(std::vector<Resolution<T>> items) { return race(defaultDispatchQueue(), std::move(items)); }
    static PRMPromise race(Queue queue, std::vector<Resolution<T>> items);

    template <typename F>
    static PRMPromise wrapObjectCompletion(F work) {
        return wrapObjectCompletion(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    static PRMPromise wrapObjectCompletion(Queue queue, F work) {
        return wrap<T, ObjectCompletion>(std::move(queue), std::move(work), [](const PRMPromise& result) {
            return [result](T value) { result.state_->fulfill(std::move(value)); };
        });
    }
    template <typename F>
    static PRMPromise wrapObjectOrErrorCompletion(F work) {
        return wrapObjectOrErrorCompletion(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    static PRMPromise wrapObjectOrErrorCompletion(Queue queue, F work) {
        return wrap<T, ObjectOrErrorCompletion>(std::move(queue), std::move(work), [](const PRMPromise& result) {
            return [result](T value, const std::optional<platform::Error>& error) {
                settleOrReject(result, std::move(value), error);
            };
        });
    }
    template <typename F>
    static PRMPromise wrapErrorOrObjectCompletion(F work) {
        return wrapErrorOrObjectCompletion(defaultDispatchQueue(), std::move(work));
    }
    template <typename F>
    static PRMPromise wrapErrorOrObjectCompletion(Queue queue, F work) {
        return wrap<T, ErrorOrObjectCompletion>(std::move(queue), std::move(work), [](const PRMPromise& result) {
            return [result](const std::optional<platform::Error>& error, T value) {
                settleOrReject(result, std::move(value), error);
            };
        });
    }

private:
    template <typename>
    friend class PRMPromise;
    friend class PromiseClass;

    explicit PRMPromise(std::shared_ptr<detail::State<T>> state) : state_(std::move(state)) {}

    static auto passValue() {
        return [](const T& value) { return Resolution<T>(value); };
    }
    template <typename U>
    static auto passError() {
        return [](const ErrorPointer& error) { return Resolution<U>(error); };
    }

    // Settles with a resolution; a promise is followed on `queue`.
    void resolveOn(const Queue& queue, Resolution<T> resolution) const {
        if (resolution.isValue()) {
            state_->fulfill(std::move(resolution.value()));
        } else if (resolution.isError()) {
            state_->reject(resolution.error());
        } else {
            follow(queue, resolution.promise());
        }
    }

    void follow(const Queue& queue, const PRMPromise& source) const {
        PRMPromise self = *this;
        source.state_->observe(
            queue ? queue : defaultDispatchQueue(), [self](const T& value) { self.state_->fulfill(value); },
            [self](const ErrorPointer& error) { self.state_->reject(error); });
    }

    template <typename U, typename OnValue, typename OnError>
    PRMPromise<U> chain(const Queue& queue, OnValue onValue, OnError onError) const {
        PRMPromise<U> result = PRMPromise<U>::pendingPromise();
        state_->observe(
            queue,
            [result, queue, onValue = std::move(onValue)](const T& value) mutable {
                result.resolveOn(queue, onValue(value));
            },
            [result, queue, onError = std::move(onError)](const ErrorPointer& error) mutable {
                result.resolveOn(queue, onError(error));
            });
        return result;
    }

    // A pending promise whose `body(result, queue)` runs on the queue as a
    // member of the promise group; what the body throws rejects the result.
    template <typename Body>
    static PRMPromise startOn(Queue queue, Body body) {
        PRMPromise result = pendingPromise();
        queue->async([membership = detail::GroupMembership(), result, queue, body = std::move(body)]() mutable {
            try {
                body(result, queue);
            } catch (...) {
                result.state_->reject(detail::currentExceptionError());
            }
        });
        return result;
    }

    std::shared_ptr<detail::State<T>> state_;
};

// Blocks until `promise` settles and answers its value or error. Never call
// it on the queue whose work settles the promise: that work would wait for
// it forever.
template <typename T>
platform::Expected<T> PRMPromiseAwait(const PRMPromise<T>& promise);

}  // namespace kit::promises

#include "kit/promises/detail/PRMPromise-inl.h"
