#include "stubforge/host/Program.h"

#include "stubforge/host/KitAnalyticsSink.h"
#include "stubforge/host/KitHost.h"
#include "stubforge/ui/Icons.h"
#include "stubforge/ui/StubforgeApp.h"
#include "stubforge/ui/Updater.h"

#include "kit/core/KitContext.h"
#include "kit/core/LaunchArguments.h"
#include "kit/core/proxy/AppDelegateSwizzler.h"

#include "platform/Bundle.h"

#include <QApplication>
#include <QStyleFactory>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace stubforge::host {

int runProgram(int argc, char** argv, const ProgramShown& shown) {
    const auto& bundle = platform::Bundle::main();
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Stubforge v%s (%s)\n", bundle.shortVersion().c_str(), bundle.buildNumber().c_str());
        return 0;
    }
    // Before Qt takes its own options out of argv.
    kit::setLaunchArguments(std::vector<std::string>(argv, argv + argc));
    QApplication application(argc, argv);
    QApplication::setApplicationName("Stubforge");
    QApplication::setApplicationVersion(QString::fromStdString(bundle.shortVersion()));
    QApplication::setDesktopFileName(QString::fromStdString(bundle.bundleIdentifier()));
    // One style on every desktop; the main window sets its own palette.
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setWindowIcon(ui::applicationIcon());

    // The desktop hands the program no delegate callbacks yet: the kit's
    // interceptors attach to empty hooks.
    const auto appDelegateHooks = std::make_shared<kit::AppDelegateHooks>();
    kit::LMUAppDelegateSwizzler::setApplicationHooks(appDelegateHooks);
    const auto kitContext = startKit(application);

    KitAnalyticsSink analytics;
    ui::UnavailableUpdater updater;
    ui::StubforgeApp app(ui::WindowServices::standard(analytics), updater);
    app.show();
    if (shown) {
        shown(app);
    }
    const int status = QApplication::exec();
    // aboutToQuit has drained the kit's queues; now they end, before the
    // window and the application go and before static objects are destroyed.
    kitContext->shutdown();
    return status;
}

}  // namespace stubforge::host
