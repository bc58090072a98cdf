#include "platform/Bundle.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

int printUsage() {
    std::fputs("usage: stubforge-driver --version\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return printUsage();
    }
    const std::string_view command = argv[1];
    if (command == "--version") {
        const auto& bundle = platform::Bundle::main();
        std::printf("stubforge-driver %s (%s)\n", bundle.shortVersion().c_str(), bundle.buildNumber().c_str());
        return 0;
    }
    return printUsage();
}
