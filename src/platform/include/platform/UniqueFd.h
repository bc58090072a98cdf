#pragma once

#include <utility>

namespace platform {

// Owns one file descriptor and closes it when destroyed.
class UniqueFd {
public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int descriptor) noexcept : descriptor_(descriptor) {}
    ~UniqueFd() { reset(); }

    UniqueFd(UniqueFd&& other) noexcept : descriptor_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const noexcept { return descriptor_; }
    explicit operator bool() const noexcept { return descriptor_ >= 0; }

    // Gives up ownership without closing.
    int release() noexcept { return std::exchange(descriptor_, -1); }

    // Closes the descriptor held (ignoring the outcome) and takes `descriptor`.
    void reset(int descriptor = -1) noexcept;

    // Closes now and reports the outcome: 0, or close()'s errno. Writers
    // call this, because NFS and full disks report write-back errors only
    // here. The descriptor is gone either way; EINTR counts as closed.
    int close() noexcept;

private:
    int descriptor_ = -1;
};

}  // namespace platform
