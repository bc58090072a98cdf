#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// A mistake in how a component is used (configured twice, an invalid
// argument the caller should never pass): the kit's "raise". It is thrown,
// and caught only at a queue's or the host's boundary, never handled as an
// ordinary failure.
class ProgrammerError : public std::logic_error {
public:
    ProgrammerError(std::string name, const std::string& reason) : std::logic_error(reason), name_(std::move(name)) {}

    // The kind of mistake, e.g. "com.halo.core" or "NSInvalidArgumentException".
    const std::string& name() const noexcept { return name_; }
    const char* reason() const noexcept { return what(); }

private:
    std::string name_;
};

}  // namespace platform
