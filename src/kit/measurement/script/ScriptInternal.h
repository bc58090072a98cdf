#pragma once

#include "kit/measurement/script/ScriptRuntime.h"

#include <algorithm>
#include <utility>
#include <vector>

// Helpers the runtime's own files share.
namespace kit::measurement::script {

// One walk over nested values: a structural comparison, or the text of an
// array. It counts its nesting on the depth of the runtime it runs in, when
// it has one (so the walk counts with the statements that led to it), else
// on its own counter, and it remembers what is under way, so that cyclic
// containers end: a pair met again compares equal, an array met again inside
// its own text reads as empty there.
class ValueWalk {
public:
    explicit ValueWalk(ExecutionState* state) noexcept : depth_(state != nullptr ? &state->depth : &ownDepth_) {}
    ValueWalk(const ValueWalk&) = delete;
    ValueWalk& operator=(const ValueWalk&) = delete;

    int& depth() noexcept { return *depth_; }

    // An item under way (a pair under comparison, an array whose text is
    // being made) for as long as it lives, unless it was already.
    template <typename Item>
    class UnderWay {
    public:
        UnderWay(std::vector<Item>& items, Item item) : items_(items) {
            seen_ = std::find(items_.begin(), items_.end(), item) != items_.end();
            if (!seen_) {
                items_.push_back(item);
            }
        }
        ~UnderWay() {
            if (!seen_) {
                items_.pop_back();
            }
        }
        UnderWay(const UnderWay&) = delete;
        UnderWay& operator=(const UnderWay&) = delete;
        bool alreadySeen() const noexcept { return seen_; }

    private:
        std::vector<Item>& items_;
        bool seen_;
    };
    using ValuePair = std::pair<const MSRPRuntimeValue*, const MSRPRuntimeValue*>;
    using Pair = UnderWay<ValuePair>;
    using Text = UnderWay<const MSRPRuntimeValue*>;

    std::vector<ValuePair>& pairs() noexcept { return pairs_; }
    std::vector<const MSRPRuntimeValue*>& texts() noexcept { return texts_; }

private:
    int ownDepth_ = 0;
    int* depth_;
    std::vector<ValuePair> pairs_;
    std::vector<const MSRPRuntimeValue*> texts_;
};

}  // namespace kit::measurement::script
