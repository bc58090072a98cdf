#include "stubforge/ui/StatusRow.h"

#include "stubforge/core/Utils.h"
#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace stubforge::ui {

StatusRow::StatusRow(MainWindowState& state, SettingsAdapter& settings, QWidget* parent)
    : QWidget(parent), state_(&state), settings_(&settings) {
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

    connect(&state, &MainWindowState::generatingChanged, this, &StatusRow::refresh);
    connect(&settings, &SettingsAdapter::useCustomFolderChanged, this, &StatusRow::refresh);
    connect(&settings, &SettingsAdapter::customFolderPathChanged, this, &StatusRow::refresh);
    refresh();
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
    const auto folder = settings_->useCustomFolder()
                            ? Utils::folderFromSetting(settings_->customFolderPath().toStdString())
                            : std::nullopt;
    if (folder) {
        label_->setText(qt(texts::kExportLocation) + QString::fromStdString(folder->string()));
    } else {
        label_->setText(qt(texts::kTips));
    }
    label_->setForegroundRole(QPalette::PlaceholderText);
}

}  // namespace stubforge::ui
