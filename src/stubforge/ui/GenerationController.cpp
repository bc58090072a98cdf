#include "stubforge/ui/GenerationController.h"

#include "platform/Error.h"

#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <mutex>
#include <optional>
#include <string>

namespace stubforge::ui {

// One generation, shared by the window's thread and the writer's. The
// request and the outcome pass between them under `mutex`: the pool's own
// hand-over uses locks that thread checkers cannot see, so ours says it.
struct GenerationController::Run {
    std::mutex mutex;
    GenerationRequest request;                  // guarded by mutex
    std::optional<std::filesystem::path> path;  // guarded by mutex
    std::optional<std::string> failure;         // guarded by mutex
    platform::CancellationToken cancel;         // atomic
    bool cancelled = false;                     // window's thread only

    explicit Run(GenerationRequest given) : request(std::move(given)) {}
};

GenerationController::GenerationController(GenerationServices services, Writer writer, QObject* parent)
    : QObject(parent), services_(services), writer_(std::move(writer)) {
    pool_.setMaxThreadCount(1);
    connect(&watcher_, &QFutureWatcher<void>::finished, this, &GenerationController::collect);
}

GenerationController::~GenerationController() { cancelAndWait(); }

void GenerationController::start(GenerationRequest request) {
    if (current_) {
        return;
    }
    auto run = std::make_shared<Run>(std::move(request));
    current_ = run;
    const GenerationServices services = services_;
    const Writer writer = writer_;
    watcher_.setFuture(QtConcurrent::run(&pool_, [run, services, writer] {
        GenerationRequest runRequest;
        {
            const std::lock_guard lock(run->mutex);
            runRequest = run->request;
        }
        const GenerationContext context(*services.clock, *services.random, *services.defaults, *services.bundle,
                                        &run->cancel, *services.log);
        std::optional<std::filesystem::path> path;
        std::optional<std::string> failure;
        try {
            path = writer(runRequest, context);
        } catch (const std::exception& error) {
            failure = error.what();
        } catch (...) {
            failure = "unknown error";
        }
        const std::lock_guard lock(run->mutex);
        run->path = std::move(path);
        run->failure = std::move(failure);
    }));
}

void GenerationController::cancelAndWait() {
    if (!current_) {
        return;
    }
    current_->cancel.cancel();
    current_->cancelled = true;
    pool_.waitForDone();
    current_.reset();
}

void GenerationController::collect() {
    const std::shared_ptr<Run> run = std::move(current_);
    if (!run || run->cancelled) {
        return;
    }
    std::optional<std::filesystem::path> path;
    std::optional<std::string> failure;
    {
        const std::lock_guard lock(run->mutex);
        path = run->path;
        failure = run->failure;
    }
    if (failure) {
        emit failed(QString::fromStdString(*failure));
    } else if (path) {
        emit succeeded(QString::fromStdString(path->string()));
    }
    emit finished();
}

}  // namespace stubforge::ui
