// Linked into each kit test binary: every test runs in a kit context of its
// own, made before its fixture and ended after it, so no kit state passes
// from one test to the next, whatever the order.

#include "kit/core/KitContext.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class FreshKitContextPerTest final : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override { context_ = std::make_unique<kit::KitContext>(); }
    void OnTestEnd(const ::testing::TestInfo&) override { context_.reset(); }

private:
    std::unique_ptr<kit::KitContext> context_;
};

const bool installed = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshKitContextPerTest);
    return true;
}();

}  // namespace
