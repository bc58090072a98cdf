#include "stubforge/ui/CSVConfigurationView.h"

#include "stubforge/core/CSVUtils.h"
#include "stubforge/ui/Popover.h"
#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Widgets.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace stubforge::ui {

CSVConfigurationView::CSVConfigurationView(MainWindowState& state, TemplateImport templateImport, QWidget* parent)
    : QWidget(parent), state_(&state), templateImport_(std::move(templateImport)) {
    layout_ = new QHBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(kFormRowSpacing);
    layout_->addWidget(formLabel(texts::kCriteria, this));
    criteria_ = new QComboBox(this);
    criteria_->setObjectName("csvCriteriaPicker");
    criteria_->setFixedWidth(125);
    for (const auto& entry : OptionTable<CSVCriteria>::cases) {
        criteria_->addItem(qt(entry.rawValue));
    }
    layout_->addWidget(criteria_);
    connect(criteria_, &QComboBox::activated, this, [this](int position) {
        state_->setCSVCriteria(allCases<CSVCriteria>()[static_cast<std::size_t>(position)]);
    });
    connect(&state, &MainWindowState::formChanged, this, &CSVConfigurationView::refresh);
    connect(&state, &MainWindowState::generatingChanged, this, &CSVConfigurationView::refresh);
    shown_ = state.form().selectedCSVCriteria;
    rebuild();
    failureLabel_ = failureLabel("templateImportFailure", this);
    layout_->addWidget(failureLabel_, 1);
    // Holds the controls together at the leading edge while no failure shows.
    layout_->addStretch();
}

void CSVConfigurationView::rebuild() {
    if (popover_ != nullptr) {
        popover_->close();
    }
    delete variable_;
    sizeField_ = nullptr;
    countField_ = nullptr;
    moreButton_ = nullptr;
    variable_ = new QWidget(this);
    auto* row = new QHBoxLayout(variable_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kFormRowSpacing);
    shown_ = state_->form().selectedCSVCriteria;
    if (shown_ == CSVCriteria::bySize) {
        row->addWidget(formLabel(texts::kFileSizeInMB, variable_));
        sizeField_ = numberField("fileSizeInput", 85, variable_);
        row->addWidget(sizeField_);
        connect(sizeField_, &QLineEdit::textChanged, this,
                [this](const QString& text) { state_->setFileSizeInput(text.toStdString()); });
    } else {
        row->addWidget(formLabel(texts::kNumberOfColumns, variable_));
        countField_ = numberField("columnCount", 70, variable_);
        row->addWidget(countField_);
        moreButton_ = new QPushButton(qt(texts::kMore), variable_);
        moreButton_->setObjectName("moreButton");
        row->addSpacing(12);
        row->addWidget(moreButton_);
        connect(countField_, &QLineEdit::textChanged, this,
                [this](const QString& text) { state_->setColumnCount(text.toStdString()); });
        connect(moreButton_, &QPushButton::clicked, this, &CSVConfigurationView::toggleEditor);
    }
    layout_->addWidget(variable_);
    variable_->show();
    refresh();
}

void CSVConfigurationView::refresh() {
    const FormState& form = state_->form();
    if (form.selectedCSVCriteria != shown_) {
        rebuild();
        return;
    }
    criteria_->setCurrentIndex(static_cast<int>(form.selectedCSVCriteria));
    if (sizeField_ != nullptr) {
        showText(*sizeField_, form.fileSizeInput);
    }
    if (countField_ != nullptr) {
        showText(*countField_, form.columnCount);
        countField_->setEnabled(!state_->isGenerating());
        const auto count = parseInteger(form.columnCount);
        moreButton_->setEnabled(!state_->isGenerating() && count && *count >= 1 && *count <= MAX_COLUMN_COUNT);
    }
}

void CSVConfigurationView::toggleEditor() {
    if (popover_ != nullptr && popover_->isVisible()) {
        popover_->close();
        return;
    }
    openEditor();
}

void CSVConfigurationView::openEditor() {
    if (moreButton_ == nullptr || !moreButton_->isEnabled()) {
        return;
    }
    auto* popover = new Popover(moreButton_);
    popover->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(popover);
    layout->setContentsMargins(10, 10, 10, 10);
    editor_ = new CSVColumnConfigurationView(*state_, popover);
    // Queued: the file dialog runs once the click is over, so the popover
    // closing under it deletes nothing still in use.
    connect(editor_, &CSVColumnConfigurationView::importRequested, this, &CSVConfigurationView::importTemplate,
            Qt::QueuedConnection);
    layout->addWidget(editor_);
    popover_ = popover;
    popover->present();
}

CSVColumnConfigurationView* CSVConfigurationView::editor() const { return editor_; }

void CSVConfigurationView::importTemplate() {
    const QString path = templateImport_.choose ? templateImport_.choose(window()) : QString();
    if (path.isEmpty()) {
        return;
    }
    platform::CaptureLogSink capture;
    const auto names =
        CSVUtils::readCSVHeader(path.toStdString(), capture, static_cast<std::size_t>(kMaxEditorColumns));
    QStringList lines;
    for (const platform::LogEntry& entry : capture.drain()) {
        lines << QString::fromStdString(entry.line);
        if (templateImport_.log != nullptr) {
            templateImport_.log->write(entry);
        }
    }
    if (names) {
        state_->replaceColumns(*names);
    }
    // The dialog may have closed the editor's popover: the panel's own
    // line keeps the reason in view, and the open editor shows it too.
    const QString failure = names ? QString() : lines.join('\n');
    failureLabel_->setText(failure);
    failureLabel_->setVisible(!failure.isEmpty());
    if (editor_ != nullptr) {
        editor_->showImportFailure(failure);
    }
}

}  // namespace stubforge::ui
