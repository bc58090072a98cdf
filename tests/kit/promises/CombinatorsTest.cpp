#include "PromiseFixture.h"

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kit::promises::testing {
namespace {

using platform::Error;

struct CombinatorCase {
    const char* name;
    std::function<void(PromiseFixture&)> run;
};

void PrintTo(const CombinatorCase& testCase, std::ostream* stream) { *stream << testCase.name; }

class CombinatorTest : public PromiseFixture, public ::testing::WithParamInterface<CombinatorCase> {};

TEST_P(CombinatorTest, Case) { GetParam().run(*this); }

void expectPromiseError(const ErrorPointer& error, PromiseErrorCode code) {
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), promiseErrorDomain);
    EXPECT_EQ(error->code(), static_cast<int>(code));
}

const CombinatorCase combinatorCases[] = {
    {"ThenTransformsTheValueAndPassesARejectionOn",
     [](PromiseFixture& test) {
         auto source = PRMPromise<int>::pendingPromise();
         auto length =
             source.then([](const int& value) { return std::to_string(value); }).then([](const std::string& text) {
                 return text.size();
             });
         int calls = 0;
         auto failed = PRMPromise<int>::resolvedWith(testError(2)).then([&](const int& value) {
             ++calls;
             return value;
         });
         source.fulfill(12345);
         test.drain();
         EXPECT_EQ(length.value(), 5u);
         EXPECT_EQ(calls, 0);
         EXPECT_EQ(failed.error()->code(), 2);
     }},
    {"ThenFollowsAReturnedPromiseAndRejectsWithAReturnedError",
     [](PromiseFixture& test) {
         auto inner = PRMPromise<std::string>::pendingPromise();
         auto followed = PRMPromise<int>::resolvedWith(1).then([inner](const int&) { return inner; });
         auto rejected = PRMPromise<int>::resolvedWith(1).then(
             [](const int&) -> Resolution<int> { return testError(6, "returned"); });
         test.drain();
         EXPECT_TRUE(followed.isPending());
         inner.fulfill("later");
         test.drain();
         EXPECT_EQ(followed.value(), "later");
         EXPECT_STREQ(rejected.error()->what(), "returned");
     }},
    {"CatchRunsItsBlockAndLeavesTheSameErrorBehind",
     [](PromiseFixture& test) {
         auto source = PRMPromise<int>::resolvedWith(testError(3, "kept"));
         std::string seen;
         auto caught = source.catch_([&](const Error& error) { seen = error.what(); });
         int valueCalls = 0;
         auto untouched = PRMPromise<int>::resolvedWith(4).catch_([&](const Error&) { ++valueCalls; });
         test.drain();
         EXPECT_EQ(seen, "kept");
         EXPECT_EQ(caught.error(), source.error());
         EXPECT_EQ(untouched.value(), 4);
         EXPECT_EQ(valueCalls, 0);
     }},
    {"RecoverTurnsARejectionIntoAnyResolution",
     [](PromiseFixture& test) {
         const auto failed = [] { return PRMPromise<int>::resolvedWith(testError(1)); };
         auto value = failed().recover([](const Error& error) { return error.code() + 40; });
         auto error = failed().recover([](const Error&) -> Resolution<int> { return testError(2); });
         auto inner = PRMPromise<int>::pendingPromise();
         auto followed = failed().recover([inner](const Error&) { return inner; });
         test.drain();
         inner.fulfill(7);
         test.drain();
         EXPECT_EQ(value.value(), 41);
         EXPECT_EQ(error.error()->code(), 2);
         EXPECT_EQ(followed.value(), 7);
     }},
    {"ValidateRejectsWithCodeTwoWhenThePredicateSaysNo",
     [](PromiseFixture& test) {
         auto passed = PRMPromise<std::string>::resolvedWith("id").validate(
             [](const std::string& text) { return !text.empty(); });
         auto failed =
             PRMPromise<std::string>::resolvedWith("").validate([](const std::string& text) { return !text.empty(); });
         test.drain();
         EXPECT_EQ(passed.value(), "id");
         expectPromiseError(failed.error(), PromiseErrorCode::validationFailure);
         EXPECT_STREQ(failed.error()->what(),
                      "The operation couldn\u2019t be completed. (com.lumen.PRMPromises.Error error 2.)");
     }},
    {"AlwaysRunsOnEitherOutcomeAndKeepsIt",
     [](PromiseFixture& test) {
         int calls = 0;
         auto value = PRMPromise<int>::resolvedWith(3).always([&] { ++calls; });
         auto error = PRMPromise<int>::resolvedWith(testError(4)).always([&] { ++calls; });
         test.drain();
         EXPECT_EQ(calls, 2);
         EXPECT_EQ(value.value(), 3);
         EXPECT_EQ(error.error()->code(), 4);
     }},
    {"DelayHoldsTheValueForTheIntervalAndARejectionNot",
     [](PromiseFixture& test) {
         auto delayed = PRMPromise<int>::resolvedWith(5).delay(2.5);
         auto rejected = PRMPromise<int>::resolvedWith(testError(1)).delay(2.5);
         test.drain();
         EXPECT_TRUE(rejected.isRejected());
         test.advance(2499ms);
         EXPECT_TRUE(delayed.isPending());
         test.advance(1ms);
         EXPECT_EQ(delayed.value(), 5);
     }},
    {"TimeoutKeepsAnOutcomeThatComesFirst",
     [](PromiseFixture& test) {
         auto value = PRMPromise<int>::pendingPromise();
         auto error = PRMPromise<int>::pendingPromise();
         auto timedValue = value.timeout(1);
         auto timedError = error.timeout(1);
         value.fulfill(9);
         error.reject(testError(8));
         test.drain();
         test.advance(5s);
         EXPECT_EQ(timedValue.value(), 9);
         EXPECT_EQ(timedError.error()->code(), 8);
     }},
    {"TimeoutRejectsWithCodeOneOtherwise",
     [](PromiseFixture& test) {
         auto source = PRMPromise<int>::pendingPromise();
         auto timed = source.timeout(1);
         test.advance(999ms);
         EXPECT_TRUE(timed.isPending());
         test.advance(1ms);
         expectPromiseError(timed.error(), PromiseErrorCode::timedOut);
         source.fulfill(1);
         test.drain();
         EXPECT_TRUE(timed.isRejected());
     }},
    {"ATimeoutWhoseResultIsGoneDoesNothing",
     [](PromiseFixture& test) {
         {
             auto source = PRMPromise<int>::pendingPromise();
             auto timed = source.timeout(1);
         }
         EXPECT_EQ(test.clock->pendingTimerCount(), 1u);
         test.advance(2s);
         EXPECT_TRUE(PromiseClass::waitForAllPromises(60));
     }},
    {"ReduceFoldsTheItemsInOrder",
     [](PromiseFixture& test) {
         auto start = PRMPromise<std::string>::resolvedWith(">");
         auto folded = start.reduce(std::vector<int>{1, 2, 3}, [](const std::string& partial, const int& item) {
             return partial + std::to_string(item);
         });
         auto same = start.reduce(std::vector<int>{}, [](const std::string& partial, const int&) { return partial; });
         test.drain();
         EXPECT_EQ(folded.value(), ">123");
         EXPECT_TRUE(same == start);
     }},
    {"DoRunsItsWorkOnTheQueueAndSettlesWithWhatItReturns",
     [](PromiseFixture& test) {
         int runs = 0;
         auto value = PromiseClass::do_([&] {
             ++runs;
             return 3;
         });
         auto error = PromiseClass::do_([]() -> Resolution<int> { return testError(5); });
         auto inner = PRMPromise<int>::pendingPromise();
         auto followed = PromiseClass::do_([inner] { return inner; });
         auto nothing = PromiseClass::do_([] {});
         EXPECT_EQ(runs, 0);
         test.drain();
         inner.fulfill(4);
         test.drain();
         EXPECT_EQ(runs, 1);
         EXPECT_EQ(value.value(), 3);
         EXPECT_EQ(error.error()->code(), 5);
         EXPECT_EQ(followed.value(), 4);
         EXPECT_TRUE(nothing.isFulfilled());
     }},
    {"AsyncHandsItsWorkAFulfilAndARejectBlock",
     [](PromiseFixture& test) {
         auto inner = PRMPromise<int>::pendingPromise();
         auto followed = PRMPromise<int>::async([inner](auto fulfil, auto) { fulfil(inner); });
         auto error = PRMPromise<int>::async([](auto fulfil, auto) { fulfil(testError(2)); });
         auto rejected = PRMPromise<int>::async([](auto, auto reject) { reject(testError(3)); });
         test.drain();
         EXPECT_TRUE(followed.isPending());
         inner.fulfill(11);
         test.drain();
         EXPECT_EQ(followed.value(), 11);
         EXPECT_EQ(error.error()->code(), 2);
         EXPECT_EQ(rejected.error()->code(), 3);
     }},
    {"AllOfNothingIsAnEmptyList",
     [](PromiseFixture&) {
         auto all = PRMPromise<int>::all({});
         EXPECT_TRUE(all.isFulfilled());
         EXPECT_TRUE(all.value()->empty());
     }},
    {"AllKeepsInputOrderAndNullValues",
     [](PromiseFixture& test) {
         using Maybe = std::optional<int>;
         auto later = PRMPromise<Maybe>::pendingPromise();
         auto all = PRMPromise<Maybe>::all({later, PRMPromise<Maybe>::resolvedWith(std::nullopt), 5});
         test.drain();
         EXPECT_TRUE(all.isPending());
         later.fulfill(1);
         test.drain();
         EXPECT_EQ(all.value(), (std::vector<Maybe>{1, std::nullopt, 5}));
     }},
    {"AllRejectsAtOnceForAnErrorItemAndOnTheFirstRejection",
     [](PromiseFixture& test) {
         auto never = PRMPromise<int>::pendingPromise();
         auto withError = PRMPromise<int>::all({never, testError(4, "item"), 1});
         test.drain();
         ASSERT_TRUE(withError.isRejected());
         EXPECT_STREQ(withError.error()->what(), "item");

         auto first = PRMPromise<int>::pendingPromise();
         auto second = PRMPromise<int>::pendingPromise();
         auto all = PRMPromise<int>::all({first, second, never});
         test.drain();
         second.reject(testError(2, "second"));
         first.reject(testError(1, "first"));
         test.drain();
         EXPECT_STREQ(all.error()->what(), "second");
     }},
    {"AnyRejectsWithTheLastErrorWhenEveryItemRejects",
     [](PromiseFixture& test) {
         auto first = PRMPromise<int>::pendingPromise();
         auto second = PRMPromise<int>::pendingPromise();
         auto any = PRMPromise<int>::any({first, second});
         test.drain();
         second.reject(testError(2, "second"));
         test.drain();
         EXPECT_TRUE(any.isPending());
         first.reject(testError(1, "first"));
         test.drain();
         EXPECT_STREQ(any.error()->what(), "first");
     }},
    {"AnyListsValuesAndErrorsOnceOneIsFulfilled",
     [](PromiseFixture& test) {
         using Maybe = std::optional<std::string>;
         auto later = PRMPromise<Maybe>::pendingPromise();
         auto any = PRMPromise<Maybe>::any({testError(3, "item"), later, Maybe(), Maybe("v")});
         test.drain();
         EXPECT_TRUE(any.isPending());
         later.reject(testError(4, "later"));
         test.drain();
         const auto outcomes = any.value();
         ASSERT_TRUE(outcomes.has_value());
         ASSERT_EQ(outcomes->size(), 4u);
         EXPECT_STREQ((*outcomes)[0].error().what(), "item");
         EXPECT_STREQ((*outcomes)[1].error().what(), "later");
         EXPECT_EQ((*outcomes)[2].value(), std::nullopt);
         EXPECT_EQ((*outcomes)[3].value(), "v");
         EXPECT_TRUE(PRMPromise<int>::any({}).value()->empty());
     }},
    {"RaceTakesAPlainItemAtOnceElseTheFirstSettlement",
     [](PromiseFixture& test) {
         auto never = PRMPromise<int>::pendingPromise();
         auto plain = PRMPromise<int>::race({never, 8, testError(1)});
         auto plainError = PRMPromise<int>::race({never, testError(2, "plain"), 8});
         auto first = PRMPromise<int>::pendingPromise();
         auto second = PRMPromise<int>::pendingPromise();
         auto raced = PRMPromise<int>::race({first, second});
         test.drain();
         EXPECT_EQ(plain.value(), 8);
         EXPECT_STREQ(plainError.error()->what(), "plain");
         EXPECT_TRUE(raced.isPending());
         second.reject(testError(3, "second"));
         first.fulfill(1);
         test.drain();
         EXPECT_STREQ(raced.error()->what(), "second");
     }},
    {"RetryWithNoAttemptsLeftRunsOnce",
     [](PromiseFixture& test) {
         int runs = 0;
         auto result = PromiseClass::attempts(0, [&]() -> Resolution<int> { return testError(++runs); });
         test.drain();
         test.advance(10s);
         EXPECT_EQ(runs, 1);
         EXPECT_EQ(result.error()->code(), 1);
     }},
    {"RetryByDefaultTriesTwiceOneSecondApart",
     [](PromiseFixture& test) {
         std::vector<platform::TimePoint> runs;
         auto result = PromiseClass::retry([&]() -> Resolution<int> {
             runs.push_back(test.clock->now());
             return testError(static_cast<int>(runs.size()));
         });
         test.drain();
         ASSERT_EQ(runs.size(), 1u);
         test.advance(999ms);
         EXPECT_EQ(runs.size(), 1u);
         EXPECT_TRUE(result.isPending());
         test.advance(1ms);
         ASSERT_EQ(runs.size(), 2u);
         EXPECT_EQ(runs[1] - runs[0], 1s);
         EXPECT_EQ(result.error()->code(), 2);
         test.advance(10s);
         EXPECT_EQ(runs.size(), 2u);
     }},
    {"RetryStopsAtTheFirstSuccessOrWhenThePredicateSaysNo",
     [](PromiseFixture& test) {
         int runs = 0;
         auto succeeded = PromiseClass::attempts(5, 0.5, {}, [&]() -> Resolution<std::string> {
             return ++runs < 3 ? Resolution<std::string>(testError(runs)) : Resolution<std::string>("done");
         });
         test.drain();
         for (int step = 0; step < 20; ++step) {
             test.advance(500ms);
         }
         EXPECT_EQ(succeeded.value(), "done");
         EXPECT_EQ(runs, 3);

         std::vector<int> remaining;
         int predicateRuns = 0;
         auto stopped = PromiseClass::attempts(
             5, 0.5,
             [&](int left, const Error& error) {
                 remaining.push_back(left);
                 return error.code() != 99;
             },
             [&]() -> Resolution<int> { return testError(++predicateRuns == 2 ? 99 : 1); });
         test.drain();
         for (int step = 0; step < 20; ++step) {
             test.advance(500ms);
         }
         EXPECT_EQ(predicateRuns, 2);
         EXPECT_EQ(remaining, (std::vector<int>{5, 4}));
         EXPECT_EQ(stopped.error()->code(), 99);
     }},
    {"RetryWaitsForAPromiseItsWorkReturns",
     [](PromiseFixture& test) {
         std::vector<PRMPromise<int>> issued;
         auto result = PromiseClass::retry([&] {
             issued.push_back(PRMPromise<int>::pendingPromise());
             return issued.back();
         });
         test.drain();
         ASSERT_EQ(issued.size(), 1u);
         issued[0].reject(testError(1));
         test.drain();
         test.advance(1s);
         ASSERT_EQ(issued.size(), 2u);
         issued[1].fulfill(6);
         test.drain();
         EXPECT_EQ(result.value(), 6);
     }},
    {"Wrap2ObjectsOrErrorGivesAPairWithNull",
     [](PromiseFixture& test) {
         using Maybe = std::optional<std::string>;
         auto pair = PromiseClass::wrap2ObjectsOrErrorCompletion<Maybe, int>(
             [](const auto& handler) { handler(std::nullopt, 1, std::nullopt); });
         auto failed = PromiseClass::wrap2ObjectsOrErrorCompletion<Maybe, int>(
             [](const auto& handler) { handler(Maybe("a"), 2, testError(5)); });
         test.drain();
         EXPECT_EQ(pair.value(), (std::pair<Maybe, int>(std::nullopt, 1)));
         EXPECT_EQ(failed.error()->code(), 5);
     }},
    {"TheWrapFamilySettlesFromItsHandler",
     [](PromiseFixture& test) {
         auto completion = PromiseClass::wrapCompletion([](const auto& handler) { handler(); });
         auto noError = PromiseClass::wrapErrorCompletion([](const auto& handler) { handler(std::nullopt); });
         auto error = PromiseClass::wrapErrorCompletion([](const auto& handler) { handler(testError(1)); });
         auto object = PRMPromise<std::string>::wrapObjectCompletion([](const auto& handler) { handler("o"); });
         auto objectOrError = PRMPromise<std::string>::wrapObjectOrErrorCompletion(
             [](const auto& handler) { handler("", testError(2)); });
         auto errorOrObject = PRMPromise<std::string>::wrapErrorOrObjectCompletion(
             [](const auto& handler) { handler(std::nullopt, "e"); });
         auto flag = PromiseClass::wrapBoolCompletion([](const auto& handler) { handler(true); });
         auto flagOrError =
             PromiseClass::wrapBoolOrErrorCompletion([](const auto& handler) { handler(true, testError(3)); });
         auto integer = PromiseClass::wrapIntegerCompletion([](const auto& handler) { handler(-5); });
         auto integerOrError = PromiseClass::wrapIntegerOrErrorCompletion(
             [](const auto& handler) { handler(std::int64_t{1} << 40, std::nullopt); });
         auto real = PromiseClass::wrapDoubleCompletion([](const auto& handler) { handler(0.5); });
         auto realOrError =
             PromiseClass::wrapDoubleOrErrorCompletion([](const auto& handler) { handler(1.5, testError(4)); });
         EXPECT_TRUE(completion.isPending());
         test.drain();
         EXPECT_TRUE(completion.isFulfilled());
         EXPECT_TRUE(noError.isFulfilled());
         EXPECT_EQ(error.error()->code(), 1);
         EXPECT_EQ(object.value(), "o");
         EXPECT_EQ(objectOrError.error()->code(), 2);
         EXPECT_EQ(errorOrObject.value(), "e");
         EXPECT_EQ(flag.value(), true);
         EXPECT_EQ(flagOrError.error()->code(), 3);
         EXPECT_EQ(integer.value(), -5);
         EXPECT_EQ(integerOrError.value(), std::int64_t{1} << 40);
         EXPECT_EQ(real.value(), 0.5);
         EXPECT_EQ(realOrError.error()->code(), 4);
     }},
    {"CombinatorsRunOnTheQueueTheyAreGiven",
     [](PromiseFixture& test) {
         auto other = std::make_shared<platform::testing::ManualExecutor>();
         bool ran = false;
         auto result = PRMPromise<int>::resolvedWith(1).then(other, [&](const int& value) {
             ran = true;
             return value + 1;
         });
         test.drain();
         EXPECT_FALSE(ran);
         other->drain();
         EXPECT_TRUE(ran);
         EXPECT_EQ(result.value(), 2);
     }},
};

INSTANTIATE_TEST_SUITE_P(Combinators, CombinatorTest, ::testing::ValuesIn(combinatorCases),
                         [](const ::testing::TestParamInfo<CombinatorCase>& test) {
                             return std::string(test.param.name);
                         });

// A callback that throws must neither end its queue's thread nor leave its
// promise pending for ever.
struct ThrowingCase {
    const char* name;
    std::function<PRMPromise<int>()> start;
};

void PrintTo(const ThrowingCase& testCase, std::ostream* stream) { *stream << testCase.name; }

class ThrowingCallbackTest : public PromiseFixture, public ::testing::WithParamInterface<ThrowingCase> {};

TEST_P(ThrowingCallbackTest, RejectsWithCodeZeroCarryingTheText) {
    auto result = GetParam().start();
    drain();
    advance(1s);
    ASSERT_TRUE(result.isRejected());
    expectPromiseError(result.error(), PromiseErrorCode::callbackFailed);
    EXPECT_STREQ(result.error()->what(), "thrown text");
    EXPECT_TRUE(PromiseClass::waitForAllPromises(60));
}

int throwText() { throw std::runtime_error("thrown text"); }

const ThrowingCase throwingCases[] = {
    {"Then", [] { return PRMPromise<int>::resolvedWith(1).then([](const int&) { return throwText(); }); }},
    {"Catch", [] { return PRMPromise<int>::resolvedWith(testError(1)).catch_([](const Error&) { throwText(); }); }},
    {"Recover",
     [] { return PRMPromise<int>::resolvedWith(testError(1)).recover([](const Error&) { return throwText(); }); }},
    {"Validate", [] { return PRMPromise<int>::resolvedWith(1).validate([](const int&) { return throwText() > 0; }); }},
    {"Always", [] { return PRMPromise<int>::resolvedWith(1).always([] { throwText(); }); }},
    {"Reduce",
     [] {
         return PRMPromise<int>::resolvedWith(1).reduce(std::vector<int>{1},
                                                        [](const int&, const int&) { return throwText(); });
     }},
    {"Chain",
     [] {
         return PRMPromise<int>::resolvedWith(1).chainOnQueue<int>(
             PromiseClass::defaultDispatchQueue(), [](const int&) -> Resolution<int> { return throwText(); });
     }},
    {"Do", [] { return PromiseClass::do_([] { return throwText(); }); }},
    {"Async", [] { return PRMPromise<int>::async([](auto, auto) { throwText(); }); }},
    {"Retry", [] { return PromiseClass::retry([] { return throwText(); }); }},
    {"RetryPredicate",
     [] {
         return PromiseClass::attempts(
             1, 1, [](int, const Error&) -> bool { throw std::runtime_error("thrown text"); },
             []() -> Resolution<int> { return testError(1); });
     }},
    {"Wrap",
     [] {
         return PromiseClass::wrapIntegerCompletion([](const auto&) { throwText(); }).then([](const std::int64_t&) {
             return 0;
         });
     }},
};

INSTANTIATE_TEST_SUITE_P(Throwing, ThrowingCallbackTest, ::testing::ValuesIn(throwingCases),
                         [](const ::testing::TestParamInfo<ThrowingCase>& test) {
                             return std::string(test.param.name);
                         });

TEST_F(PromiseFixture, AThrowingCallbackLeavesItsQueueRunning) {
    auto queue = std::make_shared<platform::SerialQueue>("test.throwing");
    auto thrown = PRMPromise<int>::resolvedWith(1).then(queue, [](const int&) { return throwText(); });
    bool observerThrew = false;
    PRMPromise<int>::resolvedWith(1).observeOnQueue(
        queue,
        [&](const int&) {
            observerThrew = true;
            throw std::runtime_error("from an observer");
        },
        [](const Error&) {});
    auto after = PRMPromise<int>::resolvedWith(2).then(queue, [](const int& value) { return value * 2; });
    EXPECT_EQ(PRMPromiseAwait(after).value(), 4);
    EXPECT_STREQ(PRMPromiseAwait(thrown).error().what(), "thrown text");
    EXPECT_TRUE(observerThrew);
    EXPECT_TRUE(PromiseClass::waitForAllPromises(60));
}

struct IntervalCase {
    const char* name;
    double seconds;
    std::chrono::nanoseconds expected;
};

void PrintTo(const IntervalCase& testCase, std::ostream* stream) { *stream << testCase.name; }

class IntervalTest : public PromiseFixture, public ::testing::WithParamInterface<IntervalCase> {};

constexpr std::chrono::nanoseconds tenYears = std::chrono::nanoseconds(std::int64_t{315576000} * 1000000000);

const IntervalCase intervalCases[] = {
    {"Ordinary", 1.5, 1500ms},
    {"Zero", 0, 0ns},
    {"Negative", -3, 0ns},
    {"NotANumber", std::numeric_limits<double>::quiet_NaN(), 0ns},
    {"Infinite", std::numeric_limits<double>::infinity(), tenYears},
    {"BeyondNanosecondRange", 1e300, tenYears},
    {"NegativeInfinity", -std::numeric_limits<double>::infinity(), 0ns},
};

TEST_P(IntervalTest, DelayTimeoutAndRetryClampTheirInterval) {
    const auto expected = GetParam().expected;
    EXPECT_EQ(detail::clampedInterval(GetParam().seconds), expected);

    auto delayed = PRMPromise<int>::resolvedWith(1).delay(GetParam().seconds);
    auto timed = PRMPromise<int>::pendingPromise().timeout(GetParam().seconds);
    int runs = 0;
    auto retried =
        PromiseClass::attempts(1, GetParam().seconds, {}, [&]() -> Resolution<int> { return testError(++runs); });
    drain();
    if (expected > 0ns) {
        advance(expected - 1ns);
        EXPECT_TRUE(delayed.isPending());
        EXPECT_TRUE(timed.isPending());
        EXPECT_EQ(runs, 1);
        advance(1ns);
    } else {
        advance(0ns);
    }
    EXPECT_EQ(delayed.value(), 1);
    EXPECT_TRUE(timed.isRejected());
    EXPECT_EQ(runs, 2);
}

INSTANTIATE_TEST_SUITE_P(Intervals, IntervalTest, ::testing::ValuesIn(intervalCases),
                         [](const ::testing::TestParamInfo<IntervalCase>& test) {
                             return std::string(test.param.name);
                         });

}  // namespace
}  // namespace kit::promises::testing
