#include "platform/Bundle.h"

#include <cstdio>

int main() {
    const auto& bundle = platform::Bundle::main();
    std::printf("Stubforge v%s (%s)\n", bundle.shortVersion().c_str(), bundle.buildNumber().c_str());
    return 0;
}
