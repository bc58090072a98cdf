#include "Commands.h"
#include "Output.h"

#include "platform/Bundle.h"

#include <csignal>
#include <string>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    // A write past the file-size limit must fail as an error the writers
    // report, not kill the process.
    std::signal(SIGXFSZ, SIG_IGN);
    // A reader that went away is a failed write of the result, not a kill.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc < 2) {
        return driver::usageError({});
    }
    const std::string_view command = argv[1];
    const std::vector<std::string_view> arguments(argv + 2, argv + argc);
    if (command == "--version") {
        const auto& bundle = platform::Bundle::main();
        return driver::writeResult("stubforge-driver " + bundle.shortVersion() + " (" + bundle.buildNumber() + ")\n");
    }
    if (command == "--help") {
        return driver::writeResult(driver::usage({}, true));
    }
    if (command == "sample") {
        return driver::runSample(arguments);
    }
    if (command == "generate") {
        return driver::runGenerate(arguments);
    }
    if (command == "csv-header") {
        return driver::runCsvHeader(arguments);
    }
    return driver::usageError({});
}
