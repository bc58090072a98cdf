#pragma once

#include "stubforge/core/GenerationContext.h"
#include "stubforge/form/Dispatch.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <filesystem>
#include <functional>
#include <memory>

namespace stubforge::ui {

// Runs one request's writer; the window's default is runGeneration.
using Writer = std::function<std::filesystem::path(const GenerationRequest&, const GenerationContext&)>;

// What a writer's context is made of, besides the cancellation it gets per run.
struct GenerationServices {
    const platform::Clock* clock;
    platform::RandomSource* random;
    platform::UserDefaults* defaults;
    const platform::Bundle* bundle;
    platform::LogSink* log;
};

// Runs writers off the window's thread, one at a time, and reports each
// outcome back on the window's thread.
class GenerationController final : public QObject {
    Q_OBJECT
public:
    GenerationController(GenerationServices services, Writer writer, QObject* parent = nullptr);
    // Cancels a running writer and waits for it.
    ~GenerationController() override;

    bool isRunning() const { return current_ != nullptr; }

    // Starts the writer on the request; nothing when one is running.
    void start(GenerationRequest request);

    // Asks the running writer to stop and waits until it has; a cancelled
    // writer leaves no file behind. No signal follows.
    void cancelAndWait();

signals:
    void succeeded(const QString& path);
    void failed(const QString& message);
    // After either of the above.
    void finished();

private:
    struct Run;
    void collect();

    GenerationServices services_;
    Writer writer_;
    // One thread: a writer never runs on the window's thread, and two never
    // run at once.
    QThreadPool pool_;
    QFutureWatcher<void> watcher_;
    std::shared_ptr<Run> current_;  // window's thread only
};

}  // namespace stubforge::ui
