#include "Commands.h"

#include <cstdio>

namespace driver {

int runSample(std::span<const std::string_view>) {
    std::fputs("stubforge-driver: this command is not built yet\n", stderr);
    return 1;
}

}  // namespace driver
