#include "stubforge/ui/FolderPreferenceView.h"

#include "stubforge/core/Utils.h"
#include "stubforge/ui/Icons.h"
#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Widgets.h"

#include "platform/Paths.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <system_error>

namespace stubforge::ui {

namespace fs = std::filesystem;

namespace {

// The default entry's text: the folder the writers use when no custom folder
// is chosen, written from "~" when it lies in the home folder.
QString defaultFolderEntry() {
    const fs::path folder = Utils::defaultOutputFolder();
    const fs::path home = platform::paths::home();
    std::string shown = folder.string();
    if (!home.empty()) {
        const fs::path relative = folder.lexically_relative(home);
        if (!relative.empty() && *relative.begin() != "..") {
            shown = (fs::path("~") / relative).string();
        }
    }
    return qt(texts::kDefaultFolderEntryPrefix) + QString::fromStdString(shown) + qt(texts::kDefaultFolderEntrySuffix);
}

}  // namespace

FolderPreferenceView::FolderPreferenceView(platform::UserDefaults& defaults, FolderChooser chooser, QWidget* parent)
    : QWidget(parent), settings_(defaults), chooser_(std::move(chooser)) {
    setObjectName("folderPreference");
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(15);
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(qt(texts::kExportLocationLabel), this);
    row->addWidget(label);
    menuButton_ = new QToolButton(this);
    menuButton_->setObjectName("exportLocationMenu");
    menuButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    menuButton_->setPopupMode(QToolButton::InstantPopup);
    menuButton_->setIcon(symbolIcon(Icon::folderFill));
    menuButton_->setIconSize(QSize(16, 16));
    menuButton_->setMaximumWidth(280);
    menuButton_->setStyleSheet(
        "QToolButton { border: 1px solid rgba(128, 128, 128, 51); border-radius: 8px;"
        " background: rgba(128, 128, 128, 13); padding: 8px 24px 8px 8px; }"
        "QToolButton::menu-indicator { subcontrol-position: right center; right: 8px; }");
    menu_ = new QMenu(menuButton_);
    menuButton_->setMenu(menu_);
    row->addWidget(menuButton_);
    row->addStretch();
    layout->addLayout(row);
    errorLine_ = new QLabel(this);
    errorLine_->setObjectName("preferenceError");
    errorLine_->setFont(footnoteFont(errorLine_->font()));
    errorLine_->setStyleSheet("color: #d70015;");
    errorLine_->setWordWrap(true);
    errorLine_->hide();
    layout->addWidget(errorLine_);
    layout->addStretch();

    // Built as it opens: an entry's action may change the settings, and the
    // menu must not be rebuilt under the action that is running.
    connect(menu_, &QMenu::aboutToShow, this, &FolderPreferenceView::rebuildMenu);
    connect(&settings_, &SettingsAdapter::useCustomFolderChanged, this, &FolderPreferenceView::refresh);
    connect(&settings_, &SettingsAdapter::customFolderPathChanged, this, &FolderPreferenceView::refresh);
    if (!settings_.customFolderPath().isEmpty()) {
        validateSavedFolder();
    }
    refresh();
    rebuildMenu();
}

void FolderPreferenceView::refresh() {
    const bool custom = settings_.useCustomFolder() && !settings_.customFolderPath().isEmpty();
    QString title = defaultFolderEntry();
    QString fullPath = qt(texts::kCustomFolder);
    if (custom) {
        title = qt(texts::kCustomFolder);
        if (selectedURL_) {
            title = QString::fromStdString(selectedURL_->filename().string());
            fullPath = QString::fromStdString(selectedURL_->string());
        }
    }
    menuButton_->setText(title);
    menuButton_->setToolTip(custom ? fullPath : QString());
}

void FolderPreferenceView::rebuildMenu() {
    const bool custom = settings_.useCustomFolder() && !settings_.customFolderPath().isEmpty();
    const QString fullPath = selectedURL_ ? QString::fromStdString(selectedURL_->string()) : qt(texts::kCustomFolder);
    menu_->clear();
    QAction* defaultEntry = menu_->addAction(defaultFolderEntry());
    defaultEntry->setObjectName("defaultFolderEntry");
    defaultEntry->setCheckable(true);
    defaultEntry->setChecked(!settings_.useCustomFolder());
    if (settings_.useCustomFolder()) {
        defaultEntry->setIcon(symbolIcon(Icon::folder));
    }
    connect(defaultEntry, &QAction::triggered, this, &FolderPreferenceView::resetToDefaultFolder);
    if (custom) {
        // Shows the folder in use; choosing it changes nothing.
        QAction* customEntry = menu_->addAction(fullPath);
        customEntry->setObjectName("customFolderEntry");
        customEntry->setCheckable(true);
        customEntry->setChecked(true);
        connect(customEntry, &QAction::triggered, customEntry, [customEntry] { customEntry->setChecked(true); });
    }
    menu_->addSeparator();
    QAction* other = menu_->addAction(qt(texts::kOther));
    other->setObjectName("otherFolderEntry");
    connect(other, &QAction::triggered, this, [this] {
        chooseFolder();
        // Also after a cancel: the list may have gone stale while the dialog
        // was open.
        settings_.flipFolderViewReloadTrigger();
    });
}

void FolderPreferenceView::chooseFolder() {
    const QString chosen = chooser_ ? chooser_(this) : QString();
    if (chosen.isEmpty()) {
        return;
    }
    const fs::path folder = chosen.toStdString();
    if (const auto problem = Utils::folderProblem(folder)) {
        setErrorMessage(qt(texts::kCannotUseFolder) + QString::fromStdString(*problem));
        return;
    }
    selectedURL_ = folder;
    settings_.setCustomFolderPath(QString::fromUtf8(QUrl::fromLocalFile(chosen).toEncoded()));
    settings_.setUseCustomFolder(true);
    setErrorMessage(QString());
    refresh();
}

void FolderPreferenceView::resetToDefaultFolder() {
    settings_.setUseCustomFolder(false);
    settings_.setCustomFolderPath(QString());
    settings_.defaults().removeObject(kFolderBookmarkDataKey);
    // The old folder's trouble is no longer the folder in use.
    setErrorMessage(QString());
    settings_.flipFolderViewReloadTrigger();
    refresh();
}

void FolderPreferenceView::validateSavedFolder() {
    const auto folder = Utils::folderFromSetting(settings_.customFolderPath().toStdString());
    if (!folder) {
        return;
    }
    selectedURL_ = folder;
    std::error_code error;
    if (!fs::is_directory(*folder, error)) {
        setErrorMessage(qt(texts::kFolderAccessExpired));
        return;
    }
    if (const auto problem = Utils::folderProblem(*folder)) {
        setErrorMessage(qt(texts::kCannotWriteSavedFolder) + QString::fromStdString(*problem));
    }
}

void FolderPreferenceView::setErrorMessage(const QString& message) {
    errorMessage_ = message;
    errorLine_->setText(message);
    errorLine_->setVisible(!message.isEmpty());
}

}  // namespace stubforge::ui
