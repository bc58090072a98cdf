#include "ScriptTestSupport.h"

#include "kit/measurement/script/ScriptModules.h"

#include <gtest/gtest.h>

namespace script_test {
namespace {

TEST(Require, GivesTheSameModuleEveryTime) {
    EXPECT_EQ(runText(R"((20 (require "internal.platform") (require "internal.platform")))"), "true");
    EXPECT_EQ(runText(R"((40 (require "internal.platform")))"), "s:function");
    EXPECT_EQ(runText(R"((0 "" (require "internal.platform")))"), "s:internal.platform");
}

TEST(Require, GetVersionIsZeroWithAnyArguments) {
    EXPECT_EQ(runText(R"((2 (require "internal.platform") "getVersion" (7)))"), "n:0");
    EXPECT_EQ(runText(R"((2 (require "internal.platform") "getVersion" (7 1 "two" (8))))"), "n:0");
    EXPECT_EQ(runText(R"((41 "p") (3 "p" (require "internal.platform")) (p 1 2))"), "undefined");
}

TEST(Require, CountsAndConvertsItsArgument) {
    EXPECT_EQ(runText(R"((require))"), "error:9");
    EXPECT_EQ(runText(R"((require "a" "b"))"), "error:9");
    EXPECT_EQ(runText(R"((require (16 (46 (44)) 0)))"), "error:5");
}

TEST(Require, ANameWithoutCreatorStaysUndefined) {
    MSRPRuntime runtime;
    EXPECT_EQ(run(runtime, R"((require "late"))").text(), "undefined");
    runtime.setModuleCreator([] { return ValueRef(makeRef<MSRPMapValue>()); }, u"late");
    EXPECT_EQ(run(runtime, R"((require "late"))").text(), "undefined");
}

TEST(Require, ACreatorGivingNothingIsNotCached) {
    MSRPRuntime runtime;
    int calls = 0;
    runtime.setModuleCreator(
        [&calls] {
            ++calls;
            return ValueRef();
        },
        u"empty");
    EXPECT_EQ(run(runtime, R"((require "empty"))").text(), "error:15");
    EXPECT_EQ(run(runtime, R"((require "empty"))").text(), "error:15");
    EXPECT_EQ(calls, 2);
    runtime.setModuleCreator([] { return ValueRef(numberValue(3)); }, u"empty");
    EXPECT_EQ(run(runtime, R"((require "empty"))").text(), "n:3");
}

TEST(Require, RunsEachCreatorOnce) {
    MSRPRuntime runtime;
    int calls = 0;
    runtime.setModuleCreator(
        [&calls] {
            ++calls;
            return ValueRef(makeRef<MSRPNativeFunctionValue>(u"m"));
        },
        u"m");
    EXPECT_EQ(run(runtime, R"((20 (require "m") (require "m")))").text(), "true");
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace script_test
