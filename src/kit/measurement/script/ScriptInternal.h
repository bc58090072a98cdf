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

    // A pair of values under comparison for as long as it lives.
    class Pair {
    public:
        Pair(ValueWalk& walk, const MSRPRuntimeValue* first, const MSRPRuntimeValue* second)
            : pairs_(walk.pairs_) {
            auto pair = std::make_pair(first, second);
            seen_ = std::find(pairs_.begin(), pairs_.end(), pair) != pairs_.end();
            if (!seen_) {
                pairs_.push_back(pair);
            }
        }
        ~Pair() {
            if (!seen_) {
                pairs_.pop_back();
            }
        }
        Pair(const Pair&) = delete;
        Pair& operator=(const Pair&) = delete;
        bool alreadySeen() const noexcept { return seen_; }

    private:
        std::vector<std::pair<const MSRPRuntimeValue*, const MSRPRuntimeValue*>>& pairs_;
        bool seen_;
    };

    // A value whose text is being made for as long as it lives.
    class Text {
    public:
        Text(ValueWalk& walk, const MSRPRuntimeValue* value) : values_(walk.texts_) {
            seen_ = std::find(values_.begin(), values_.end(), value) != values_.end();
            if (!seen_) {
                values_.push_back(value);
            }
        }
        ~Text() {
            if (!seen_) {
                values_.pop_back();
            }
        }
        Text(const Text&) = delete;
        Text& operator=(const Text&) = delete;
        bool alreadySeen() const noexcept { return seen_; }

    private:
        std::vector<const MSRPRuntimeValue*>& values_;
        bool seen_;
    };

private:
    int ownDepth_ = 0;
    int* depth_;
    std::vector<std::pair<const MSRPRuntimeValue*, const MSRPRuntimeValue*>> pairs_;
    std::vector<const MSRPRuntimeValue*> texts_;
};

}  // namespace kit::measurement::script
