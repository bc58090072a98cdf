#pragma once

#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/OutputFile.h"
#include "platform/Random.h"
#include "platform/UserDefaults.h"

namespace stubforge {

// What a writer draws on besides its request: the clock for names and
// dates, the random source for fake values, the settings that choose the
// output folder, the bundle holding base files, a cancellation token and
// the log for diagnostics.
// Writers are pure functions of request and context.
class GenerationContext {
public:
    GenerationContext(const platform::Clock& clock, platform::RandomSource& random, platform::UserDefaults& defaults,
                      const platform::Bundle& bundle, const platform::CancellationToken* cancel = nullptr,
                      platform::LogSink& log = platform::standardLogSink())
        : clock_(&clock), random_(&random), defaults_(&defaults), bundle_(&bundle), cancel_(cancel), log_(&log) {}

    // The running program's clock, OS random source, settings and bundle.
    static GenerationContext standard();

    const platform::Clock& clock() const { return *clock_; }
    platform::RandomSource& random() const { return *random_; }
    platform::UserDefaults& defaults() const { return *defaults_; }
    const platform::Bundle& bundle() const { return *bundle_; }
    const platform::CancellationToken* cancel() const { return cancel_; }
    platform::LogSink& log() const { return *log_; }

private:
    const platform::Clock* clock_;
    platform::RandomSource* random_;
    platform::UserDefaults* defaults_;
    const platform::Bundle* bundle_;
    const platform::CancellationToken* cancel_;
    platform::LogSink* log_;
};

}  // namespace stubforge
