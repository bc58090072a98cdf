#pragma once

#include "kit/measurement/script/ScriptValues.h"

#include <algorithm>
#include <utility>
#include <vector>

// Helpers the runtime's own files share.
namespace kit::measurement::script {

// Pairs of values under structural comparison on this thread: a pair met
// again is taken as equal, so cyclic containers compare in finite time.
inline thread_local std::vector<std::pair<const MSRPRuntimeValue*, const MSRPRuntimeValue*>> pairsUnderComparison;

class ComparisonPair {
public:
    ComparisonPair(const MSRPRuntimeValue* first, const MSRPRuntimeValue* second) {
        auto pair = std::make_pair(first, second);
        seen_ = std::find(pairsUnderComparison.begin(), pairsUnderComparison.end(), pair) !=
                pairsUnderComparison.end();
        if (!seen_) {
            pairsUnderComparison.push_back(pair);
        }
    }
    ~ComparisonPair() {
        if (!seen_) {
            pairsUnderComparison.pop_back();
        }
    }
    ComparisonPair(const ComparisonPair&) = delete;
    ComparisonPair& operator=(const ComparisonPair&) = delete;
    bool alreadySeen() const noexcept { return seen_; }

private:
    bool seen_;
};


// Arrays whose text is being made on this thread: an array met again inside
// its own text reads as empty there.
class TextWalk {
public:
    explicit TextWalk(const MSRPRuntimeValue* value) {
        seen_ = std::find(walking.begin(), walking.end(), value) != walking.end();
        if (!seen_) {
            walking.push_back(value);
        }
    }
    ~TextWalk() {
        if (!seen_) {
            walking.pop_back();
        }
    }
    TextWalk(const TextWalk&) = delete;
    TextWalk& operator=(const TextWalk&) = delete;
    bool alreadySeen() const noexcept { return seen_; }

private:
    static inline thread_local std::vector<const MSRPRuntimeValue*> walking;
    bool seen_;
};

}  // namespace kit::measurement::script
