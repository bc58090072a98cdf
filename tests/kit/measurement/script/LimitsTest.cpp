#include "ScriptTestSupport.h"

#include "kit/measurement/script/ScriptModules.h"
#include "platform/concurrency/SerialQueue.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace script_test {
namespace {

// Runs on a worker queue's thread, where programs run in the product.
template <typename Work>
void onWorkerQueue(Work&& work) {
    platform::SerialQueue queue("script-limits");
    queue.sync([&] { work(); });
}

TEST(Limits, TheMillionFirstEvaluationFails) {
    MSRPRuntime runtime;
    // Three evaluations to start, then two per iteration.
    Outcome outcome = run(runtime, "(42 true 0 false (46))");
    EXPECT_EQ(outcome.text(), "error:18");
    EXPECT_EQ(runtime.getInstructionCount(), 1000000);
    EXPECT_EQ(run(runtime, "1").text(), "error:18");
    EXPECT_EQ(runtime.getInstructionCount(), 1000000);
    runtime.resetInstructionCount();
    EXPECT_EQ(runtime.getInstructionCount(), 0);
    EXPECT_EQ(run(runtime, "1").text(), "n:1");
    EXPECT_EQ(runtime.getInstructionCount(), 1);
}

TEST(Limits, TheCounterIsOutOfScriptsReach) {
    const ProgramCase cases[] = {
        {R"((52 "runtime.counter" 0) (42 true 0 false (46)))", "error:18"},
        {R"((41 "runtime.counter") (42 true (3 "runtime.counter" 0) false (46)))", "error:18"},
        {R"((42 true (3 "runtime.counter" 0) false (46)))", "error:2"},
        {R"((15 "runtime.counter"))", "undefined"},
        {R"((41 "i") (3 "i" 0) (42 true (53 (52 "runtime.counter" 0)) false (46)))", "error:18"},
    };
    for (const ProgramCase& c : cases) {
        EXPECT_EQ(runText(c.program), c.expected) << c.program;
    }
}

TEST(Limits, DeepEntityTreesEndWithTheLimit) {
    onWorkerQueue([] {
        MSRPRuntime runtime;
        std::vector<NanoMessageInfo> deep = nestedSequence(100000);
        Outcome outcome;
        outcome.value = runtime.executeStatements(deep, outcome.error);
        EXPECT_EQ(outcome.text(), "error:18");
        dismantle(deep);
        std::vector<NanoMessageInfo> fine = nestedSequence(900);
        Outcome shallow;
        shallow.value = runtime.executeStatements(fine, shallow.error);
        EXPECT_EQ(shallow.text(), "n:1");
        dismantle(fine);
    });
}

TEST(Limits, EndlessRecursionEndsWithTheLimit) {
    onWorkerQueue([] {
        EXPECT_EQ(runText(R"((50 "f" (7) (36 (f))) (f))"), "error:18");
        EXPECT_EQ(runText(R"((50 "f" (7 "n") (36 (0 1 (f (0 (15 "n") 1))))) (f 0))"), "error:18");
        // A hundred levels of script recursion are fine.
        EXPECT_EQ(runText(R"((50 "f" (7 "n") (36 (39 (23 (15 "n") 100) (f (0 (15 "n") 1)) (15 "n")))) (f 0))"),
                  "n:100");
    });
}

// Each runtime counts its own nesting: a run of another runtime, started
// from deep inside a script (here by a native module), starts at the top,
// and its instructions are its own.
TEST(Limits, EachRuntimeCountsItsOwnDepthAndInstructions) {
    onWorkerQueue([] {
        class RunElsewhere final : public MSRPNativeFunctionValue {
        public:
            explicit RunElsewhere(MSRPRuntime& other) : MSRPNativeFunctionValue(u"elsewhere"), other_(&other) {}
            ValueRef invokeWithArguments(const ValueList&, MSRPScope&, ScriptError& error) override {
                std::vector<NanoMessageInfo> deep = nestedSequence(900);
                ValueRef result = other_->executeStatements(deep, error);
                dismantle(deep);
                return result;
            }

        private:
            MSRPRuntime* other_;
        };
        MSRPRuntime other;
        MSRPRuntime runtime;
        runtime.setModuleCreator([&other] { return ValueRef(makeRef<RunElsewhere>(other)); }, u"elsewhere");
        // Two hundred levels of script recursion, then 900 levels elsewhere:
        // together past the bound, each well within it.
        EXPECT_EQ(run(runtime, R"((52 "m" (require "elsewhere"))
            (50 "f" (7 "n") (36 (39 (23 (15 "n") 200) (f (0 (15 "n") 1)) (m)))) (f 0))")
                      .text(),
                  "n:1");
        MSRPRuntime alone;
        std::vector<NanoMessageInfo> deep = nestedSequence(900);
        ScriptError error;
        alone.executeStatements(deep, error);
        dismantle(deep);
        EXPECT_FALSE(error);
        EXPECT_EQ(other.getInstructionCount(), alone.getInstructionCount());
    });
}

TEST(Limits, TheTextOfADeepArrayEndsWithTheLimit) {
    onWorkerQueue([] {
        MSRPRuntime runtime;
        EXPECT_EQ(run(runtime, R"((41 "a" "i") (3 "a" (7)) (3 "i" 0)
            (42 (23 (15 "i") 50000) (3 "i" (0 (15 "i") 1)) false (46 (3 "a" (7 (15 "a")))))
            (0 "" (15 "a")))")
                      .text(),
                  "error:18");
        runtime.resetInstructionCount();
        Outcome first = run(runtime, R"((15 "a"))");
        EXPECT_FALSE(first.value->isEqualToRuntimeValue(*run(runtime, R"((7 (7)))").value));
        EXPECT_TRUE(first.value->isEqualToRuntimeValue(*first.value));
    });
}

TEST(Limits, DoublingLoopsEndWithinMemory) {
    const ProgramCase cases[] = {
        {R"((41 "s") (3 "s" "ab") (42 true (3 "s" (0 (15 "s") (15 "s"))) false (46)))", "error:18"},
        {R"((41 "a") (3 "a" (7 1)) (42 true (43 (15 "a") "length" (26 (16 (15 "a") "length") 2)) false (46)))",
         "error:11"},
        {R"((41 "a") (3 "a" (7)) (41 "i") (3 "i" 0) (42 true (3 "i" (0 (15 "i") 1)) false
            (46 (43 (15 "a") (15 "i") (15 "a")))))",
         "error:18"},
        // Many large arrays: the live budget.
        {R"((41 "keep" "i") (3 "keep" (7)) (3 "i" 0) (42 true (3 "i" (0 (15 "i") 1)) false
            (46 (43 (15 "keep") (15 "i") (41 "x")) (43 (15 "keep") (15 "i") (7))
                (43 (16 (15 "keep") (15 "i")) "length" 999999))))",
         "error:18"},
        // Many long strings.
        {R"((41 "s" "keep" "i") (3 "s" "abcdefgh") (3 "keep" (7)) (3 "i" 0)
            (42 (23 (15 "i") 17) (3 "i" (0 (15 "i") 1)) false (46 (3 "s" (0 (15 "s") (15 "s")))))
            (3 "i" 0)
            (42 true (3 "i" (0 (15 "i") 1)) false (46 (43 (15 "keep") (15 "i") (0 (15 "s") "x")))))",
         "error:18"},
    };
    for (const ProgramCase& c : cases) {
        EXPECT_EQ(runText(c.program), c.expected) << c.program;
    }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 256 * 1024) << "peak RSS in KiB";
#endif
}

TEST(Limits, NativeWorkIsMetered) {
    MSRPRuntime runtime;
    // Copies of a 2^19-unit text: each costs its units, far beyond the
    // meter long before the instruction limit.
    Outcome outcome = run(runtime, R"((41 "s" "i") (3 "s" "ab") (3 "i" 0)
        (42 (23 (15 "i") 18) (3 "i" (0 (15 "i") 1)) false (46 (3 "s" (0 (15 "s") (15 "s")))))
        (42 true (3 "i" (0 (15 "i") 1)) false (46 (0 (15 "s") ""))))");
    EXPECT_EQ(outcome.text(), "error:18");
    EXPECT_LT(runtime.getInstructionCount(), 20000);
    // A new run starts with a fresh meter.
    runtime.resetInstructionCount();
    EXPECT_EQ(run(runtime, R"((16 (15 "s") "length"))").text(), "n:524288");
}

}  // namespace
}  // namespace script_test
