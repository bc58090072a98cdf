#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

namespace script_test {
namespace {

TEST(Collector, AFunctionInItsOwnUnreachableScopeLosesBodyAndScope) {
    MSRPRuntime runtime;
    Outcome outcome = run(runtime, R"((53 (50 "f" (7) (36 1))))");
    ASSERT_EQ(outcome.text(), "fn:f");
    Ref<MSRPFunctionValue> function(valueAs<MSRPFunctionValue>(outcome.value.get()));
    outcome.value = nullptr;
    ASSERT_NE(function->definingScope(), nullptr);
    ASSERT_EQ(function->statements().size(), 1u);
    runtime.collectGarbage();
    EXPECT_EQ(function->definingScope(), nullptr);
    EXPECT_TRUE(function->statements().empty());
    // The holder keeps the emptied function; it still answers calls.
    ScriptError error;
    EXPECT_EQ(describe(function->invokeWithEvaluatedArguments({}, error).get()), "undefined");
    EXPECT_FALSE(error);
}

TEST(Collector, ReachableContainersSurviveRepeatedCollections) {
    MSRPRuntime runtime;
    ASSERT_EQ(run(runtime, R"(
        (41 "g" "held")
        (50 "outer" (7)
            (41 "m") (3 "m" (8 "k" 7))
            (41 "i") (3 "i" 0)
            (63 (7 "i") (23 (15 "i") 1) (3 "i" (0 (15 "i") 1))
                (46 (3 "g" (51 "" (7) (36 (16 (15 "m") "k")))))))
        (outer)
        (3 "held" (require "internal.platform"))
        (43 (15 "held") "stash" (8 "k" 8))
        (43 (require "internal.platform") "cached" (8 "k" 9))
        (3 "held" (16 (15 "held") "stash"))
        (43 (15 "require") "own" (8 "k" 10))
        (3 "held" 0))")
                  .text(),
              "n:0");
    for (int collection = 0; collection < 3; ++collection) {
        runtime.collectGarbage();
    }
    EXPECT_EQ(run(runtime, "(g)").text(), "n:7");
    EXPECT_EQ(run(runtime, R"((16 (16 (require "internal.platform") "stash") "k"))").text(), "n:8");
    EXPECT_EQ(run(runtime, R"((16 (16 (require "internal.platform") "cached") "k"))").text(), "n:9");
    EXPECT_EQ(run(runtime, R"((16 (16 (15 "require") "own") "k"))").text(), "n:10");
}

TEST(Collector, RootsAddedByTheOwnerAreMarked) {
    struct Holder final : MSRPMarkable {
        ValueRef value;
        void mark(Marker& marker) override { marker.push(value.get()); }
    } holder;
    MSRPRuntime runtime;
    runtime.addGarbageCollectionRoot(&holder);
    holder.value = run(runtime, R"((8 "inner" (8 "k" 1)))").value;
    runtime.collectGarbage();
    runtime.collectGarbage();
    EXPECT_EQ(describe(holder.value.get()), "map{inner=map{k=n:1}}");
    runtime.objectManager().removeRoot(&holder);
    runtime.collectGarbage();
    EXPECT_EQ(describe(holder.value.get()), "map{}");
}

TEST(Collector, TrackedListDropsFreedObjects) {
    MSRPRuntime runtime;
    run(runtime, R"((41 "i") (3 "i" 0) (42 (23 (15 "i") 100) (3 "i" (0 (15 "i") 1)) false (46 (8 "a" (7)))))");
    runtime.collectGarbage();
    // Only "require" and what the loop left in the scope remain tracked.
    EXPECT_LT(runtime.objectManager().trackedObjects().size(), 5u);
}

TEST(Collector, CyclicValuesHaveFiniteTextAndEquality) {
    MSRPRuntime runtime;
    Outcome first = run(runtime, R"((41 "a") (3 "a" (7 1 2)) (43 (15 "a") 0 (15 "a")) (15 "a"))");
    Outcome second = run(runtime, R"((41 "b") (3 "b" (7 1 2)) (43 (15 "b") 0 (15 "b")) (15 "b"))");
    EXPECT_EQ(run(runtime, R"((0 "" (15 "a")))").text(), "s:,2");
    EXPECT_TRUE(first.value->isEqualToRuntimeValue(*second.value));
    EXPECT_EQ(run(runtime, R"((12 (15 "a") ",2"))").text(), "true");
    Outcome map1 = run(runtime, R"((41 "m") (3 "m" (8 "x" 1)) (43 (15 "m") "self" (15 "m")) (15 "m"))");
    Outcome map2 = run(runtime, R"((41 "n") (3 "n" (8 "x" 1)) (43 (15 "n") "self" (15 "n")) (15 "n"))");
    EXPECT_TRUE(map1.value->isEqualToRuntimeValue(*map2.value));
    Outcome map3 = run(runtime, R"((8 "x" 2 "self" (15 "m")))");
    EXPECT_FALSE(map3.value->isEqualToRuntimeValue(*map1.value));
}

TEST(Collector, DroppingARuntimeWithCyclesFreesThem) {
    // LeakSanitizer checks this test's process at exit.
    ValueRef survivor;
    {
        MSRPRuntime runtime;
        run(runtime, R"(
            (50 "f" (7) (36 1))
            (41 "a" "m") (3 "a" (7 1)) (43 (15 "a") 0 (15 "a"))
            (3 "m" (8)) (43 (15 "m") "me" (15 "m")) (43 (15 "m") "f" (15 "f"))
            (43 (require "internal.platform") "loop" (15 "m"))
            (53 (50 "inner" (7) (36 (15 "a"))) (43 (15 "m") "g" (15 "inner"))))");
        survivor = run(runtime, R"((15 "m"))").value;
    }
    // What a native holder keeps outlives the runtime, emptied.
    EXPECT_EQ(describe(survivor.get()), "map{}");
}

}  // namespace
}  // namespace script_test
