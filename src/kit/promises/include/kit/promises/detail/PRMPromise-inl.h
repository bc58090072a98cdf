#pragma once

// Private to the promises: the longer templates of PRMPromise.h.

#include "platform/concurrency/SerialQueue.h"

namespace kit::promises {

template <typename F>
auto PromiseClass::do_(Queue queue, F work) {
    using U = detail::ResolvedValueOf<F>;
    detail::requireQueue(queue);
    detail::require(work, "work");
    return PRMPromise<U>::startOn(
        std::move(queue), [work = std::move(work)](const PRMPromise<U>& result, const Queue& runQueue) mutable {
            result.resolveOn(runQueue, detail::resolutionOf<U>([&]() -> decltype(auto) { return work(); }));
        });
}

template <typename F>
auto PromiseClass::attempts(Queue queue, int count, double delaySeconds, RetryPredicate predicate, F work) {
    using U = detail::ResolvedValueOf<F>;
    detail::requireQueue(queue);
    detail::require(work, "work");
    auto run = std::make_shared<RetryRun<U, F>>(
        RetryRun<U, F>{queue, schedulingClock(), detail::clampedInterval(delaySeconds), std::move(predicate),
                       std::move(work), PRMPromise<U>::pendingPromise()});
    PRMPromise<U> result = run->result;
    queue->async([membership = detail::GroupMembership(), run, count] { retryAttempt(run, count); });
    return result;
}

template <typename U, typename F>
void PromiseClass::retryAttempt(const std::shared_ptr<RetryRun<U, F>>& run, int remaining) {
    Resolution<U> resolution = detail::resolutionOf<U>([&]() -> decltype(auto) { return run->work(); });
    if (resolution.isValue()) {
        run->result.state_->fulfill(std::move(resolution.value()));
    } else if (resolution.isError()) {
        retryFailed(run, remaining, resolution.error());
    } else {
        resolution.promise().state_->observe(
            run->queue, [run](const U& value) { run->result.state_->fulfill(value); },
            [run, remaining](const ErrorPointer& error) { retryFailed(run, remaining, error); });
    }
}

template <typename U, typename F>
void PromiseClass::retryFailed(const std::shared_ptr<RetryRun<U, F>>& run, int remaining, const ErrorPointer& error) {
    bool again = remaining >= 1;
    if (again && run->predicate) {
        try {
            again = run->predicate(remaining, *error);
        } catch (...) {
            run->result.state_->reject(detail::currentExceptionError());
            return;
        }
    }
    if (!again) {
        run->result.state_->reject(error);
        return;
    }
    run->clock->after(run->delay, detail::timerExecutor(),
                      [run, remaining] { run->queue->async([run, remaining] { retryAttempt(run, remaining - 1); }); });
}

template <typename U>
void PromiseClass::settleOrReject(const PRMPromise<U>& result, U value, const std::optional<platform::Error>& error) {
    if (error) {
        result.reject(*error);
    } else {
        result.state_->fulfill(std::move(value));
    }
}

template <typename U, typename Handler, typename F, typename MakeHandler>
PRMPromise<U> PromiseClass::wrap(Queue queue, F work, MakeHandler makeHandler) {
    detail::requireQueue(queue);
    detail::require(work, "work");
    return PRMPromise<U>::startOn(
        std::move(queue), [work = std::move(work), makeHandler](const PRMPromise<U>& result, const Queue&) mutable {
            work(Handler(makeHandler(result)));
        });
}

template <typename F>
PRMPromise<Null> PromiseClass::wrapCompletion(Queue queue, F work) {
    return wrap<Null, Completion>(std::move(queue), std::move(work), [](const PRMPromise<Null>& result) {
        return [result] { result.state_->fulfill(Null{}); };
    });
}

template <typename F>
PRMPromise<Null> PromiseClass::wrapErrorCompletion(Queue queue, F work) {
    return wrap<Null, ErrorCompletion>(std::move(queue), std::move(work), [](const PRMPromise<Null>& result) {
        return [result](const std::optional<platform::Error>& error) { settleOrReject(result, Null{}, error); };
    });
}

template <typename A, typename B, typename F>
PRMPromise<std::pair<A, B>> PromiseClass::wrap2ObjectsOrErrorCompletion(Queue queue, F work) {
    using Pair = std::pair<A, B>;
    return wrap<Pair, TwoObjectsOrErrorCompletion<A, B>>(
        std::move(queue), std::move(work), [](const PRMPromise<Pair>& result) {
            return [result](A first, B second, const std::optional<platform::Error>& error) {
                settleOrReject(result, Pair(std::move(first), std::move(second)), error);
            };
        });
}

template <typename F>
PRMPromise<bool> PromiseClass::wrapBoolCompletion(Queue queue, F work) {
    return wrap<bool, BoolCompletion>(std::move(queue), std::move(work), [](const PRMPromise<bool>& result) {
        return [result](bool value) { result.state_->fulfill(value); };
    });
}

template <typename F>
PRMPromise<bool> PromiseClass::wrapBoolOrErrorCompletion(Queue queue, F work) {
    return wrap<bool, BoolOrErrorCompletion>(std::move(queue), std::move(work), [](const PRMPromise<bool>& result) {
        return
            [result](bool value, const std::optional<platform::Error>& error) { settleOrReject(result, value, error); };
    });
}

template <typename F>
PRMPromise<std::int64_t> PromiseClass::wrapIntegerCompletion(Queue queue, F work) {
    return wrap<std::int64_t, IntegerCompletion>(
        std::move(queue), std::move(work), [](const PRMPromise<std::int64_t>& result) {
            return [result](std::int64_t value) { result.state_->fulfill(value); };
        });
}

template <typename F>
PRMPromise<std::int64_t> PromiseClass::wrapIntegerOrErrorCompletion(Queue queue, F work) {
    return wrap<std::int64_t, IntegerOrErrorCompletion>(
        std::move(queue), std::move(work), [](const PRMPromise<std::int64_t>& result) {
            return [result](std::int64_t value, const std::optional<platform::Error>& error) {
                settleOrReject(result, value, error);
            };
        });
}

template <typename F>
PRMPromise<double> PromiseClass::wrapDoubleCompletion(Queue queue, F work) {
    return wrap<double, DoubleCompletion>(std::move(queue), std::move(work), [](const PRMPromise<double>& result) {
        return [result](double value) { result.state_->fulfill(value); };
    });
}

template <typename F>
PRMPromise<double> PromiseClass::wrapDoubleOrErrorCompletion(Queue queue, F work) {
    return wrap<double, DoubleOrErrorCompletion>(
        std::move(queue), std::move(work), [](const PRMPromise<double>& result) {
            return [result](double value, const std::optional<platform::Error>& error) {
                settleOrReject(result, value, error);
            };
        });
}

template <typename T>
PRMPromise<std::vector<T>> PRMPromise<T>::all(Queue queue, std::vector<Resolution<T>> items) {
    using Values = std::vector<T>;
    detail::requireQueue(queue);
    if (items.empty()) {
        return PRMPromise<Values>::resolvedWith(Values{});
    }
    return PRMPromise<Values>::startOn(
        std::move(queue), [items = std::move(items)](const PRMPromise<Values>& result, const Queue& runQueue) {
            std::vector<PRMPromise<T>> promises;
            promises.reserve(items.size());
            for (const auto& item : items) {
                if (item.isError()) {
                    result.state_->reject(item.error());
                    return;
                }
                promises.push_back(resolvedWith(item));
            }
            // Shared by the observers, which hold no promise, so a promise that
            // never settles keeps no cycle alive.
            struct Progress {
                std::mutex mutex;
                std::vector<std::optional<T>> values;  // guarded by mutex
                std::size_t remaining;                 // guarded by mutex
            };
            auto progress = std::make_shared<Progress>();
            progress->values.resize(promises.size());
            progress->remaining = promises.size();
            for (std::size_t index = 0; index < promises.size(); ++index) {
                promises[index].state_->observe(
                    runQueue,
                    [progress, result, index](const T& value) {
                        std::optional<Values> values;
                        {
                            std::lock_guard lock(progress->mutex);
                            progress->values[index] = value;
                            if (--progress->remaining > 0) {
                                return;
                            }
                            values.emplace();
                            values->reserve(progress->values.size());
                            for (auto& each : progress->values) {
                                values->push_back(std::move(*each));
                            }
                        }
                        result.state_->fulfill(std::move(*values));
                    },
                    [result](const ErrorPointer& error) { result.state_->reject(error); });
            }
        });
}

template <typename T>
PRMPromise<std::vector<platform::Expected<T>>> PRMPromise<T>::any(Queue queue, std::vector<Resolution<T>> items) {
    using Outcome = platform::Expected<T>;
    using Outcomes = std::vector<Outcome>;
    detail::requireQueue(queue);
    if (items.empty()) {
        return PRMPromise<Outcomes>::resolvedWith(Outcomes{});
    }
    return PRMPromise<Outcomes>::startOn(
        std::move(queue), [items = std::move(items)](const PRMPromise<Outcomes>& result, const Queue& runQueue) {
            std::vector<PRMPromise<T>> promises;
            promises.reserve(items.size());
            for (const auto& item : items) {
                promises.push_back(resolvedWith(item));
            }
            struct Progress {
                std::mutex mutex;
                std::vector<std::optional<Outcome>> outcomes;  // guarded by mutex
                std::size_t remaining;                         // guarded by mutex
                bool anyFulfilled = false;                     // guarded by mutex
            };
            auto progress = std::make_shared<Progress>();
            progress->outcomes.resize(promises.size());
            progress->remaining = promises.size();
            // Records one settlement; the last one settles the result.
            auto settle = [progress, result](std::size_t index, Outcome outcome, const ErrorPointer& error) {
                std::optional<Outcomes> outcomes;
                {
                    std::lock_guard lock(progress->mutex);
                    progress->anyFulfilled = progress->anyFulfilled || outcome.hasValue();
                    progress->outcomes[index].emplace(std::move(outcome));
                    if (--progress->remaining > 0) {
                        return;
                    }
                    if (progress->anyFulfilled) {
                        outcomes.emplace();
                        outcomes->reserve(progress->outcomes.size());
                        for (auto& each : progress->outcomes) {
                            outcomes->push_back(std::move(*each));
                        }
                    }
                }
                if (outcomes) {
                    result.state_->fulfill(std::move(*outcomes));
                } else {
                    result.state_->reject(error);
                }
            };
            for (std::size_t index = 0; index < promises.size(); ++index) {
                promises[index].state_->observe(
                    runQueue, [settle, index](const T& value) { settle(index, Outcome(value), nullptr); },
                    [settle, index](const ErrorPointer& error) { settle(index, platform::unexpected(*error), error); });
            }
        });
}

template <typename T>
PRMPromise<T> PRMPromise<T>::race(Queue queue, std::vector<Resolution<T>> items) {
    detail::requireQueue(queue);
    if (items.empty()) {
        detail::throwNoPromisesToObserve();
    }
    return startOn(std::move(queue), [items = std::move(items)](const PRMPromise& result, const Queue& runQueue) {
        for (const auto& item : items) {
            if (!item.isPromise()) {
                result.resolveOn(runQueue, item);
                return;
            }
        }
        for (const auto& item : items) {
            item.promise().state_->observe(
                runQueue, [result](const T& value) { result.state_->fulfill(value); },
                [result](const ErrorPointer& error) { result.state_->reject(error); });
        }
    });
}

namespace detail {
// The concurrent queue every await observes on.
Queue awaitQueue();
}  // namespace detail

template <typename T>
platform::Expected<T> PRMPromiseAwait(const PRMPromise<T>& promise) {
    struct Outcome {
        std::mutex mutex;
        std::condition_variable settled;
        std::optional<platform::Expected<T>> result;  // guarded by mutex
    };
    auto outcome = std::make_shared<Outcome>();
    auto store = [outcome](platform::Expected<T> result) {
        std::lock_guard lock(outcome->mutex);
        outcome->result.emplace(std::move(result));
        outcome->settled.notify_all();
    };
    promise.observeOnQueue(
        detail::awaitQueue(), [store](const T& value) { store(platform::Expected<T>(value)); },
        [store](const platform::Error& error) { store(platform::unexpected(error)); });
    std::unique_lock lock(outcome->mutex);
    outcome->settled.wait(lock, [&] { return outcome->result.has_value(); });
    return std::move(*outcome->result);
}

}  // namespace kit::promises
