#include "ScriptTestSupport.h"

#include "kit/measurement/messages/MessageCodec.h"
#include "kit/measurement/messages/NanoMessage.h"
#include "kit/measurement/script/MSRPRuntimeEntityConverter.h"

#include "platform/concurrency/SerialQueue.h"

#include <gtest/gtest.h>

#include <memory>

namespace script_test {
namespace {

constexpr ProgramCase runtimeCases[] = {
    // Names no evaluator claims go to the function evaluator.
    {R"((11))", "undefined"},
    {R"((11 1 2))", "undefined"},
    {R"((14))", "undefined"},
    {R"((31))", "undefined"},
    {R"((48))", "undefined"},
    {R"((49))", "undefined"},
    {R"((007))", "undefined"},
    {R"((67))", "undefined"},
    {R"((50 "007" (7) (36 5)) (007))", "n:5"},
    {R"((50 "11" (7) (36 7)) (11))", "n:7"},
    {R"((50 "07" (7) (36 8)) (07))", "n:8"},
    // Calls: missing parameters are undefined, extra arguments evaluated.
    {R"((50 "f" (7 "a" "b") (36 (15 "b"))) (f 1))", "undefined"},
    {R"((41 "n") (3 "n" 0) (50 "f" (7 "a") (36 (15 "a"))) (f 1 (3 "n" 5)) (15 "n"))", "n:5"},
    {R"((50 "f" (7 "a") (36 (15 "a"))) (f 1 2 3))", "n:1"},
    {R"((50 "f" (7) 1 2) (f))", "n:2"},
    {R"((50 "f" (7) (42 true 0 false (46 (4)))) (f))", "undefined"},
    {R"((50 "f" (7) (4)) (f))", "control:break(undefined)"},
    {R"((41 "f") (3 "f" 5) (f))", "undefined"},
    // Scopes: outer assignment, shadowing, constants.
    {R"((41 "x") (3 "x" 1) (53 (3 "x" 2)) (15 "x"))", "n:2"},
    {R"((41 "x") (3 "x" 1) (53 (41 "x") (3 "x" 2)) (15 "x"))", "n:1"},
    {R"((52 "c" 1) (3 "c" 2))", "n:2"},
    {R"((52 "c" 1) (3 "c" 2) (15 "c"))", "n:1"},
    {R"((52 "c" 1) (41 "c") (15 "c"))", "n:1"},
    {R"((52 "c" 1) (52 "c" 3) (15 "c"))", "n:1"},
    {R"((52 "c" 1) (53 (52 "c" 2) (15 "c")))", "n:2"},
    {R"((15 "nope"))", "undefined"},
    // Top level: a control value does not stop the run; the last one stays.
    {R"((36))", "control:return(undefined)"},
    {R"((36 4) 5)", "n:5"},
    {R"((4))", "control:break(undefined)"},
    {R"(1 (3 "undeclared" 2) 3)", "error:2"},
    // Closures close over their defining scope.
    {R"((50 "counter" (7) (41 "n") (3 "n" 0) (36 (51 "" (7) (36 (3 "n" (0 (15 "n") 1))))))
        (41 "c") (3 "c" (counter)) (c) (c) (c))",
     "n:3"},
    {R"((50 "f" (7 "n") (36 (39 (23 (15 "n") 2) (15 "n") (0 (f (37 (15 "n") 1)) (f (37 (15 "n") 2))))))
        (f 15))",
     "n:610"},
    // Statement entities: presence of each field matters.
    {R"({})", "error:12"},
    {R"({t=9})", "error:12"},
    {R"({t=0})", "error:12"},
    {R"({t=4})", "error:14"},
    {R"((13 1 {t=4 : 1}))", "error:14"},
    {R"({t=4 f="" : 1 2})", "undefined"},
    {R"((0 "" {t=2}))", "s:NaN"},
    {R"((0 "x" {t=1}))", "s:x"},
    {R"((0 "" {t=3}))", "s:false"},
    {R"((0 "" {t=3 b=1}))", "s:true"},
    {R"((0 "" {t=1 s="\u00e9"}))", "s:\u00e9"},
    {R"(1 {t=7} (3 "never" 1))", "error:12"},
};

class RuntimeCases : public testing::TestWithParam<ProgramCase> {};

TEST_P(RuntimeCases, RunsToItsResult) {
    EXPECT_EQ(runText(GetParam().program), GetParam().expected) << GetParam().program;
}

INSTANTIATE_TEST_SUITE_P(Runtime, RuntimeCases, testing::ValuesIn(runtimeCases));

// A program entity as it arrives in a message: encoded, decoded into its
// wrapper, then converted.
TEST(Runtime, WrappedEntitiesConvertLikeTheirRecords) {
    for (const char* program : {R"((0 "a" (7 1 true 2.5)))", R"("text")", "-1.5", "false"}) {
        SCOPED_TRACE(program);
        std::vector<NanoMessageInfo> entities = parseProgram(program);
        ScriptError recordError;
        const ValueRef fromRecord =
            MSRPRuntimeEntityConverter::runtimeValueFromRuntimeEntity(entities.front(), nullptr, recordError);
        const auto bytes = kit::measurement::encodeMessage(entities.front());
        dismantle(entities);
        ASSERT_TRUE(bytes);
        const auto wrapper = kit::measurement::MSRPBRuntimeEntity::initWithBuffer(*bytes);
        ASSERT_TRUE(wrapper);
        ScriptError error;
        const ValueRef fromWrapper =
            MSRPRuntimeEntityConverter::runtimeValueFromRuntimeEntity(*wrapper, nullptr, error);
        EXPECT_FALSE(error);
        EXPECT_FALSE(recordError);
        EXPECT_EQ(describe(fromWrapper.get()), describe(fromRecord.get()));
    }

    // An empty entity has no type.
    kit::measurement::MSRPBRuntimeEntity moved;
    kit::measurement::MSRPBRuntimeEntity taker(std::move(moved));
    for (const auto* empty : {&taker, &moved}) {
        ScriptError emptyError;
        MSRPRuntimeEntityConverter::runtimeValueFromRuntimeEntity(*empty, nullptr, emptyError);
        ASSERT_TRUE(emptyError);
        EXPECT_EQ(emptyError->code(), 12);
    }
}

TEST(Runtime, StateLivesAcrossRunsInTheGlobalScope) {
    MSRPRuntime runtime;
    EXPECT_EQ(run(runtime, R"((41 "x") (3 "x" 4))").text(), "n:4");
    EXPECT_EQ(run(runtime, R"((0 (15 "x") 1))").text(), "n:5");
    Ref<MSRPScope> runScope = runtime.getRunScope();
    EXPECT_EQ(runScope->parentScope(), &runtime.globalScope());
    EXPECT_EQ(runtime.globalScope().parentScope(), &runtime.initialScope());
    EXPECT_EQ(runScope->objectManager(), &runtime.objectManager());
}

TEST(Runtime, DispatchTableHoldsTheClaimedCodes) {
    MSRPRuntime runtime;
    for (const MSRPCommandRegistrar* registrar : std::initializer_list<const MSRPCommandRegistrar*>{
             &runtime.commandRegistrar(), &MSRPCommandRegistrar::builtIn()}) {
        int claimed = 0;
        for (int code = 0; code <= 99; ++code) {
            std::u16string name = utf16FromUtf8(std::to_string(code));
            if (registrar->evaluatorForCommand(name) != nullptr) {
                ++claimed;
            }
        }
        EXPECT_EQ(claimed, 62);
        for (const char16_t* unclaimed : {u"11", u"14", u"31", u"48", u"49", u"007", u"00", u"x"}) {
            EXPECT_EQ(registrar->evaluatorForCommand(unclaimed), nullptr) << utf8FromUtf16(unclaimed);
        }
    }
}

TEST(Runtime, LaterRegistrationReplacesACode) {
    class Answer final : public MSRPCommandEvaluator {
    public:
        ValueRef evaluateCommand(std::u16string_view, const ValueList&, MSRPScope&, ScriptError&) override {
            return numberValue(42);
        }
        std::vector<std::u16string> allSupportedCommands() const override { return {u"99", u"custom"}; }
    };
    Answer answer;
    MSRPRuntime runtime;
    runtime.commandRegistrar().registerEvaluator(answer);
    EXPECT_EQ(run(runtime, "(99)").text(), "n:42");
    EXPECT_EQ(run(runtime, "(custom 1)").text(), "n:42");
    // The registration is that runtime's own: another one, or a scope of no
    // runtime, still dispatches the codes as built.
    EXPECT_EQ(runText("(99)"), describe(undefinedValue().get()));
    EXPECT_EQ(runText("(custom 1)"), describe(undefinedValue().get()));
    Ref<MSRPScope> bare = makeRef<MSRPScope>(nullptr);
    ScriptError error;
    EXPECT_TRUE(valueIs<MSRPUndefinedValue>(
        MSRPEvaluator::evaluateStatement(makeRef<MSRPStatementValue>(u"99", ValueList{}), *bare, error).get()));
    EXPECT_FALSE(error);
}

TEST(Runtime, RuntimesRunSideBySideOnTheirOwnQueues) {
    // Shared singletons (undefined, booleans, holes, break) are immortal, so
    // runtimes on different threads never write to the same count.
    const char* program = R"((41 "a" "i") (3 "a" (7)) (3 "i" 0)
        (42 (23 (15 "i") 2000) (3 "i" (0 (15 "i") 1)) false
            (46 (43 (15 "a") (26 (15 "i") 2) (20 (25 (15 "i") 2) 0)) (28 (44)) (16 (46 (4)) 0)))
        (16 (15 "a") "length"))";
    std::vector<std::unique_ptr<platform::SerialQueue>> queues;
    std::vector<std::string> results(4);
    for (std::size_t index = 0; index < results.size(); ++index) {
        queues.push_back(std::make_unique<platform::SerialQueue>("script-" + std::to_string(index)));
        queues.back()->async([&results, index, program] { results[index] = runText(program); });
    }
    queues.clear();
    for (const std::string& result : results) {
        EXPECT_EQ(result, "n:3999");
    }
}

}  // namespace
}  // namespace script_test
