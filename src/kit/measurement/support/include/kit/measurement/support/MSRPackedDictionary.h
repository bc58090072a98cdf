#pragma once

#include "platform/Value.h"

#include <string>

namespace kit::measurement {

// A dictionary of values kept as one block of bytes while it waits in a
// queue. A burst of events can leave tens of thousands of them waiting for
// the store; packed, each takes a few dozen bytes instead of a tree of
// nodes of a hundred bytes or more per member. Unpacking gives back an
// equal dictionary.
class MSRPackedDictionary {
public:
    MSRPackedDictionary() = default;
    explicit MSRPackedDictionary(const platform::Value::Dictionary& dictionary);

    platform::Value::Dictionary unpack() const;

private:
    std::string bytes_;
};

}  // namespace kit::measurement
