#include "stubforge/ui/StatusRow.h"

#include "stubforge/core/Utils.h"
#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace stubforge::ui {

StatusRow::StatusRow(MainWindowState& state, SettingsAdapter& settings, platform::LogSink& log, QWidget* parent)
    : QWidget(parent), state_(&state), settings_(&settings), log_(&log) {
    setObjectName("statusRow");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->addStretch();
    progress_ = new QProgressBar(this);
    progress_->setObjectName("progressIndicator");
    progress_->setRange(0, 0);
    progress_->setTextVisible(false);
    progress_->setFixedSize(48, 8);
    layout->addWidget(progress_);
    label_ = new QLabel(this);
    label_->setObjectName("statusText");
    label_->setFont(footnoteFont(label_->font()));
    label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label_);
    layout->addStretch();

    // The folder is resolved anew whenever it may have changed under us: a
    // chosen folder that was deleted or locked sends files to the default.
    connect(&state, &MainWindowState::generatingChanged, this, &StatusRow::resolveLocation);
    connect(&state, &MainWindowState::reloadFolderViewChanged, this, &StatusRow::resolveLocation);
    connect(&settings, &SettingsAdapter::useCustomFolderChanged, this, &StatusRow::resolveLocation);
    connect(&settings, &SettingsAdapter::customFolderPathChanged, this, &StatusRow::resolveLocation);
    connect(&settings, &SettingsAdapter::folderViewReloadTriggerChanged, this, &StatusRow::resolveLocation);
    resolveLocation();
}

void StatusRow::showFailure(const QString& message) {
    failure_ = qt(texts::kGenerationFailed) + message;
    refresh();
}

void StatusRow::clearFailure() {
    failure_.clear();
    refresh();
}

QString StatusRow::text() const { return label_->text(); }

bool StatusRow::showsProgress() const { return !progress_->isHidden(); }

void StatusRow::refresh() {
    progress_->setVisible(state_->isGenerating());
    if (!failure_.isEmpty()) {
        label_->setText(failure_);
        label_->setStyleSheet("color: #d70015;");
        return;
    }
    label_->setStyleSheet(QString());
    label_->setText(location_.isEmpty() ? qt(texts::kTips) : location_);
    label_->setForegroundRole(QPalette::PlaceholderText);
}

void StatusRow::resolveLocation() {
    location_.clear();
    if (settings_->useCustomFolder()) {
        // The folder the writers will use: the default one when the custom
        // folder cannot take files.
        const auto folder = Utils::outputFolderURL(settings_->defaults(), *log_).folder;
        location_ = qt(texts::kExportLocation) + QString::fromStdString(folder.string());
    }
    refresh();
}

}  // namespace stubforge::ui
