#include "stubforge/ui/PreferencesWindow.h"

#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Widgets.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace stubforge::ui {

PreferencesWindow::PreferencesWindow(const PreferencesServices& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName("preferencesWindow");
    setWindowTitle(qt(texts::kPreferencesTitle));
    auto* layout = new QVBoxLayout(this);
    exportLocationRow_ = new QWidget(this);
    exportLocationRow_->setObjectName("exportLocationRow");
    auto* rowLayout = new QVBoxLayout(exportLocationRow_);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    folderPreference_ = new FolderPreferenceView(*services.defaults, services.chooseOutputFolder, exportLocationRow_);
    rowLayout->addWidget(folderPreference_);
    layout->addWidget(exportLocationRow_);
    layout->addStretch();
}

WindowManager::WindowManager(PreferencesServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {}

WindowManager::~WindowManager() { delete preferencesWindow_.data(); }

void WindowManager::showPreferencesWindow() {
    if (preferencesWindow_ != nullptr && preferencesWindow_->isVisible()) {
        preferencesWindow_->raise();
        preferencesWindow_->activateWindow();
        return;
    }
    // A closed window is not reused.
    delete preferencesWindow_.data();
    auto* window = new PreferencesWindow(services_);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        window->move(available.center() - QPoint(kPreferencesSize.width() / 2, kPreferencesSize.height() / 2));
    }
    window->setFixedSize(kPreferencesSize);
    preferencesWindow_ = window;
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace stubforge::ui
