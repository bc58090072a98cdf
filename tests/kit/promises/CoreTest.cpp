#include "PromiseFixture.h"

#include <functional>
#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace kit::promises::testing {
namespace {

using platform::Error;

struct CoreCase {
    const char* name;
    std::function<void(PromiseFixture&)> run;
};

void PrintTo(const CoreCase& testCase, std::ostream* stream) { *stream << testCase.name; }

class CoreTest : public PromiseFixture, public ::testing::WithParamInterface<CoreCase> {};

TEST_P(CoreTest, Case) { GetParam().run(*this); }

// Records each callback of an observer.
struct Calls {
    std::vector<std::string> seen;
    std::function<void(const int&)> onValue() {
        return [this](const int& value) { seen.push_back("value " + std::to_string(value)); };
    }
    std::function<void(const Error&)> onError() {
        return [this](const Error& error) { seen.push_back("error " + std::string(error.what())); };
    }
};

const CoreCase coreCases[] = {
    {"FulfillingWithAnErrorRejects",
     [](PromiseFixture&) {
         auto promise = PRMPromise<int>::pendingPromise();
         promise.fulfill(testError(7, "bad"));
         EXPECT_TRUE(promise.isRejected());
         EXPECT_FALSE(promise.value().has_value());
         ASSERT_TRUE(promise.error());
         EXPECT_EQ(promise.error()->code(), 7);
         EXPECT_STREQ(promise.error()->what(), "bad");
     }},
    {"ASecondSettlementChangesNothingAndNoObserverRunsTwice",
     [](PromiseFixture& test) {
         auto promise = PRMPromise<int>::pendingPromise();
         Calls calls;
         promise.observeOnQueue(test.main, calls.onValue(), calls.onError());
         promise.fulfill(1);
         promise.fulfill(2);
         promise.reject(testError(3));
         test.drain();
         promise.fulfill(4);
         promise.reject(testError(5));
         test.drain();
         EXPECT_EQ(calls.seen, (std::vector<std::string>{"value 1"}));
         EXPECT_TRUE(promise.isFulfilled());
         EXPECT_EQ(promise.value(), 1);
         EXPECT_FALSE(promise.error());

         auto rejected = PRMPromise<int>::pendingPromise();
         Calls rejectedCalls;
         rejected.observeOnQueue(test.main, rejectedCalls.onValue(), rejectedCalls.onError());
         rejected.reject(testError(1, "first"));
         rejected.fulfill(9);
         rejected.reject(testError(2, "second"));
         test.drain();
         EXPECT_EQ(rejectedCalls.seen, (std::vector<std::string>{"error first"}));
         EXPECT_STREQ(rejected.error()->what(), "first");
     }},
    {"ObservingASettledPromiseRunsTheCallbackOnlyAfterTheCallHasReturned",
     [](PromiseFixture& test) {
         auto fulfilled = PRMPromise<int>::resolvedWith(5);
         auto rejected = PRMPromise<int>::resolvedWith(testError(1, "no"));
         Calls calls;
         fulfilled.observeOnQueue(test.main, calls.onValue(), calls.onError());
         rejected.observeOnQueue(test.main, calls.onValue(), calls.onError());
         EXPECT_TRUE(calls.seen.empty());
         EXPECT_EQ(test.main->pendingCount(), 2u);
         test.drain();
         EXPECT_EQ(calls.seen, (std::vector<std::string>{"value 5", "error no"}));
     }},
    {"ObserversRegisteredWhilePendingRunInRegistrationOrderOnSettlement",
     [](PromiseFixture& test) {
         auto promise = PRMPromise<int>::pendingPromise();
         std::vector<int> order;
         for (int index = 0; index < 3; ++index) {
             promise.observeOnQueue(
                 test.main, [&order, index](const int&) { order.push_back(index); }, [](const Error&) {});
         }
         test.drain();
         EXPECT_TRUE(order.empty());
         promise.fulfill(1);
         EXPECT_TRUE(order.empty());
         test.drain();
         EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
     }},
    {"AChainFollowsAPendingPromiseReturnedByItsTransform",
     [](PromiseFixture& test) {
         auto source = PRMPromise<int>::pendingPromise();
         auto inner = PRMPromise<int>::pendingPromise();
         auto chained = source.chainOnQueue<int>(test.main, [inner](const int&) -> Resolution<int> { return inner; });
         source.fulfill(1);
         test.drain();
         EXPECT_TRUE(chained.isPending());
         inner.fulfill(42);
         test.drain();
         EXPECT_EQ(chained.value(), 42);

         auto failing = PRMPromise<int>::pendingPromise();
         auto innerFailing = PRMPromise<int>::pendingPromise();
         auto chainedFailing = failing.chainOnQueue<int>(
             test.main, [innerFailing](const int&) -> Resolution<int> { return innerFailing; });
         failing.fulfill(1);
         test.drain();
         EXPECT_TRUE(chainedFailing.isPending());
         innerFailing.reject(testError(3, "inner"));
         test.drain();
         ASSERT_TRUE(chainedFailing.isRejected());
         EXPECT_STREQ(chainedFailing.error()->what(), "inner");
     }},
    {"AMissingTransformPassesTheOutcomeOnUnchanged",
     [](PromiseFixture& test) {
         auto value = PRMPromise<int>::pendingPromise();
         auto passedValue = value.chainOnQueue<int>(test.main, {}, [](const Error&) -> Resolution<int> { return 0; });
         auto error = PRMPromise<int>::pendingPromise();
         auto passedError = error.chainOnQueue<int>(test.main, [](const int&) -> Resolution<int> { return 0; });
         value.fulfill(8);
         error.reject(testError(4, "kept"));
         test.drain();
         EXPECT_EQ(passedValue.value(), 8);
         ASSERT_TRUE(passedError.isRejected());
         EXPECT_EQ(passedError.error(), error.error());  // the same error object
     }},
    {"TransformsMayFulfilRejectOrChangeTheType",
     [](PromiseFixture& test) {
         auto source = PRMPromise<int>::resolvedWith(2);
         auto text = source.chainOnQueue<std::string>(test.main, [](const int& value) -> Resolution<std::string> {
             return std::string(static_cast<std::size_t>(value), 'x');
         });
         auto rejected =
             source.chainOnQueue<int>(test.main, [](const int&) -> Resolution<int> { return testError(9); });
         auto recovered = PRMPromise<int>::resolvedWith(testError(1))
                              .chainOnQueue<int>(test.main, {}, [](const Error& error) -> Resolution<int> {
                                  return error.code() + 10;
                              });
         test.drain();
         EXPECT_EQ(text.value(), "xx");
         EXPECT_EQ(rejected.error()->code(), 9);
         EXPECT_EQ(recovered.value(), 11);
     }},
    {"FulfillingWithAPromiseFollowsIt",
     [](PromiseFixture& test) {
         auto source = PRMPromise<int>::pendingPromise();
         auto follower = PRMPromise<int>::pendingPromise();
         follower.fulfill(source);
         test.drain();
         EXPECT_TRUE(follower.isPending());
         source.fulfill(13);
         test.drain();
         EXPECT_EQ(follower.value(), 13);
         EXPECT_TRUE(PRMPromise<int>::resolvedWith(source) == source);
     }},
    {"ResolvedWithNullIsFulfilledWithNull",
     [](PromiseFixture&) {
         auto promise = PRMPromise<std::optional<std::string>>::resolvedWith(std::nullopt);
         EXPECT_TRUE(promise.isFulfilled());
         ASSERT_TRUE(promise.value().has_value());
         EXPECT_EQ(*promise.value(), std::nullopt);
         auto null = PRMPromise<>::resolvedWith(Null{});
         EXPECT_TRUE(null.isFulfilled());
     }},
    {"PendingObjectsLiveOnlyWhilePending",
     [](PromiseFixture&) {
         auto promise = PRMPromise<int>::pendingPromise();
         auto object = std::make_shared<int>(1);
         std::weak_ptr<int> watch = object;
         promise.addPendingObject(object);
         promise.addPendingObject(object);
         object.reset();
         EXPECT_EQ(promise.pendingObjects().size(), 1u);
         EXPECT_FALSE(watch.expired());
         promise.fulfill(1);
         EXPECT_TRUE(watch.expired());
         EXPECT_TRUE(promise.pendingObjects().empty());
         promise.addPendingObject(std::make_shared<int>(2));
         EXPECT_TRUE(promise.pendingObjects().empty());
     }},
    {"DescriptionNamesTheStateAndTheOutcome",
     [](PromiseFixture&) {
         const std::regex address("<PRMPromise 0x[0-9a-f]+> ");
         auto pending = PRMPromise<int>::pendingPromise();
         std::smatch match;
         const std::string pendingText = pending.description();
         ASSERT_TRUE(std::regex_search(pendingText, match, address)) << pendingText;
         EXPECT_EQ(pendingText, match.str() + "Pending");
         pending.fulfill(12);
         EXPECT_EQ(pending.description(), match.str() + "Fulfilled: 12");
         // Copies are the same promise.
         auto copy = pending;
         EXPECT_EQ(copy.description(), pending.description());

         const std::string rejected = PRMPromise<std::string>::resolvedWith(Error("d", 3, "why")).description();
         EXPECT_TRUE(
             std::regex_match(rejected, std::regex("<PRMPromise 0x[0-9a-f]+> Rejected: Error Domain=d Code=3 \"why\"")))
             << rejected;
         EXPECT_TRUE(std::regex_search(PRMPromise<std::string>::resolvedWith("text").description(),
                                       std::regex("> Fulfilled: text$")));
         EXPECT_TRUE(
             std::regex_search(PRMPromise<>::resolvedWith(Null{}).description(), std::regex("> Fulfilled: <null>$")));
     }},
    {"TheDefaultQueueIsTheMainQueueUntilSet",
     [](PromiseFixture& test) {
         EXPECT_EQ(PromiseClass::defaultDispatchQueue(), test.main);
         auto other = std::make_shared<platform::testing::ManualExecutor>();
         PromiseClass::setDefaultDispatchQueue(other);
         EXPECT_EQ(PromiseClass::defaultDispatchQueue(), other);
         bool ran = false;
         PRMPromise<int>::resolvedWith(1).then([&](const int&) { ran = true; });
         test.drain();
         EXPECT_FALSE(ran);
         other->drain();
         EXPECT_TRUE(ran);
         PromiseClass::resetDefaultDispatchQueue();
         EXPECT_EQ(PromiseClass::defaultDispatchQueue(), test.main);
     }},
};

INSTANTIATE_TEST_SUITE_P(Core, CoreTest, ::testing::ValuesIn(coreCases),
                         [](const ::testing::TestParamInfo<CoreCase>& test) { return std::string(test.param.name); });

struct MisuseCase {
    const char* name;
    std::function<void()> misuse;
    const char* reason;
};

void PrintTo(const MisuseCase& testCase, std::ostream* stream) { *stream << testCase.name; }

class MisuseTest : public PromiseFixture, public ::testing::WithParamInterface<MisuseCase> {};

TEST_P(MisuseTest, IsAProgrammerErrorNamingTheParameter) {
    try {
        GetParam().misuse();
        FAIL() << "no programmer error";
    } catch (const platform::ProgrammerError& error) {
        EXPECT_STREQ(error.reason(), GetParam().reason);
        EXPECT_EQ(error.name(), programmerErrorName);
    }
    EXPECT_EQ(main->pendingCount(), 0u);
}

const auto pending = [] { return PRMPromise<int>::pendingPromise(); };
const Queue noQueue;

const MisuseCase misuseCases[] = {
    {"ObserveWithoutQueue",
     [] {
         pending().observeOnQueue(
             noQueue, [](const int&) {}, [](const Error&) {});
     },
     "Invalid parameter not satisfying: queue"},
    {"ObserveWithoutOnFulfill",
     [] { pending().observeOnQueue(PromiseClass::defaultDispatchQueue(), {}, [](const Error&) {}); },
     "Invalid parameter not satisfying: onFulfill"},
    {"ObserveWithoutOnReject",
     [] { pending().observeOnQueue(PromiseClass::defaultDispatchQueue(), [](const int&) {}, {}); },
     "Invalid parameter not satisfying: onReject"},
    {"ChainWithoutQueue", [] { pending().chainOnQueue<int>(noQueue, {}); }, "Invalid parameter not satisfying: queue"},
    {"AddNoPendingObject", [] { pending().addPendingObject(nullptr); }, "Invalid parameter not satisfying: object"},
    {"SetNoDefaultQueue", [] { PromiseClass::setDefaultDispatchQueue(nullptr); },
     "Invalid parameter not satisfying: queue"},
    {"RejectWithNoError", [] { pending().reject(ErrorPointer()); }, "Invalid parameter not satisfying: error"},
    {"ThenWithoutWork", [] { pending().then(std::function<int(const int&)>()); },
     "Invalid parameter not satisfying: work"},
    {"ThenOnNoQueue", [] { pending().then(noQueue, [](const int& value) { return value; }); },
     "Invalid parameter not satisfying: queue"},
    {"CatchWithoutBlock", [] { pending().catch_(std::function<void(const Error&)>()); },
     "Invalid parameter not satisfying: reject"},
    {"RecoverWithoutBlock", [] { pending().recover(std::function<int(const Error&)>()); },
     "Invalid parameter not satisfying: recovery"},
    {"ValidateWithoutPredicate", [] { pending().validate(std::function<bool(const int&)>()); },
     "Invalid parameter not satisfying: predicate"},
    {"AlwaysWithoutWork", [] { pending().always(std::function<void()>()); }, "Invalid parameter not satisfying: work"},
    {"ReduceWithoutReducer",
     [] { pending().reduce(std::vector<int>{1}, std::function<int(const int&, const int&)>()); },
     "Invalid parameter not satisfying: reducer"},
    {"DelayOnNoQueue", [] { pending().delay(noQueue, 1); }, "Invalid parameter not satisfying: queue"},
    {"TimeoutOnNoQueue", [] { pending().timeout(noQueue, 1); }, "Invalid parameter not satisfying: queue"},
    {"DoWithoutWork", [] { PromiseClass::do_(std::function<int()>()); }, "Invalid parameter not satisfying: work"},
    {"AsyncWithoutWork",
     [] { PRMPromise<int>::async(std::function<void(PRMPromise<int>::Fulfiller, PRMPromise<int>::Rejecter)>()); },
     "Invalid parameter not satisfying: work"},
    {"RetryWithoutWork", [] { PromiseClass::retry(std::function<int()>()); }, "Invalid parameter not satisfying: work"},
    {"WrapWithoutWork", [] { PromiseClass::wrapCompletion(std::function<void(PromiseClass::Completion)>()); },
     "Invalid parameter not satisfying: work"},
    {"AllOnNoQueue", [] { PRMPromise<int>::all(noQueue, {1}); }, "Invalid parameter not satisfying: queue"},
    {"RaceOfNothing", [] { PRMPromise<int>::race({}); }, "No promises to observe"},
};

INSTANTIATE_TEST_SUITE_P(Misuse, MisuseTest, ::testing::ValuesIn(misuseCases),
                         [](const ::testing::TestParamInfo<MisuseCase>& test) { return std::string(test.param.name); });

TEST_F(PromiseFixture, WaitForAllPromisesSeesPendingPromisesAndQueuedCallbacks) {
    EXPECT_TRUE(PromiseClass::waitForAllPromises(60));

    // A queued callback keeps the group busy until it has run; the wait
    // drains the main queue because it runs on the main queue's thread.
    bool ran = false;
    PRMPromise<int>::resolvedWith(1).then([&](const int&) { ran = true; });
    EXPECT_EQ(main->pendingCount(), 1u);
    EXPECT_TRUE(PromiseClass::waitForAllPromises(60));
    EXPECT_TRUE(ran);

    auto pendingPromise = PRMPromise<int>::pendingPromise();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(PromiseClass::waitForAllPromises(0.05));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);

    pendingPromise.fulfill(1);
    EXPECT_TRUE(PromiseClass::waitForAllPromises(60));
}

TEST_F(PromiseFixture, WaitingOffTheMainThreadLeavesTheMainQueueAlone) {
    bool ran = false;
    PRMPromise<int>::resolvedWith(1).then([&](const int&) { ran = true; });
    bool waited = true;
    std::thread other([&] { waited = PromiseClass::waitForAllPromises(0.05); });
    other.join();
    EXPECT_FALSE(waited);
    EXPECT_FALSE(ran);
    EXPECT_EQ(main->pendingCount(), 1u);
    EXPECT_TRUE(PromiseClass::waitForAllPromises(60));
    EXPECT_TRUE(ran);
}

TEST_F(PromiseFixture, APendingPromiseThatIsDestroyedLeavesTheGroup) {
    {
        auto pendingPromise = PRMPromise<std::string>::pendingPromise();
        auto chained = pendingPromise.then([](const std::string& text) { return text.size(); });
        EXPECT_FALSE(PromiseClass::waitForAllPromises(0.02));
    }
    EXPECT_TRUE(PromiseClass::waitForAllPromises(60));
}

TEST_F(PromiseFixture, ADroppedCallbackLeavesTheGroup) {
    auto other = std::make_shared<platform::testing::ManualExecutor>();
    PRMPromise<int>::resolvedWith(1).observeOnQueue(
        other, [](const int&) {}, [](const Error&) {});
    EXPECT_FALSE(PromiseClass::waitForAllPromises(0.02));
    other.reset();  // never drained: its blocks are dropped
    EXPECT_TRUE(PromiseClass::waitForAllPromises(60));
}

TEST_F(PromiseFixture, DroppingALongPendingChainDoesNotRecursePerLink) {
    std::optional<PRMPromise<int>> head = PRMPromise<int>::pendingPromise();
    std::optional<PRMPromise<int>> tail = head;
    for (int link = 0; link < 100000; ++link) {
        tail = tail->then([](const int& value) { return value + 1; });
    }
    std::weak_ptr<int> witness;
    {
        auto object = std::make_shared<int>(0);
        witness = object;
        tail->addPendingObject(object);
    }
    tail.reset();
    EXPECT_FALSE(witness.expired());  // the head keeps the whole chain
    head.reset();
    EXPECT_TRUE(witness.expired());
    EXPECT_TRUE(PromiseClass::waitForAllPromises(60));
}

TEST_F(PromiseFixture, ASettledLongChainRunsThrough) {
    auto head = PRMPromise<int>::pendingPromise();
    auto tail = head;
    for (int link = 0; link < 100000; ++link) {
        tail = tail.then([](const int& value) { return value + 1; });
    }
    head.fulfill(0);
    drain();
    EXPECT_EQ(tail.value(), 100000);
}

}  // namespace
}  // namespace kit::promises::testing
