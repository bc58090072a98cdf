#include "stubforge/ui/JSONConfigurationView.h"

#include "stubforge/ui/Popover.h"
#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace stubforge::ui {

JSONConfigurationView::JSONConfigurationView(MainWindowState& state, QWidget* parent)
    : QWidget(parent), state_(&state) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kFormRowSpacing);
    layout->addWidget(formLabel(texts::kNumberOfRows, this));
    rowField_ = numberField("jsonRowCount", 70, this);
    layout->addWidget(rowField_);
    layout->addWidget(formLabel(texts::kNumberOfFields, this));
    fieldField_ = numberField("jsonFieldCount", 70, this);
    layout->addWidget(fieldField_);
    moreButton_ = new QPushButton(qt(texts::kMore), this);
    moreButton_->setObjectName("moreButton");
    layout->addSpacing(12);
    layout->addWidget(moreButton_);

    connect(rowField_, &QLineEdit::textChanged, this,
            [this](const QString& text) { state_->setJSONRowCount(text.toStdString()); });
    connect(fieldField_, &QLineEdit::textChanged, this,
            [this](const QString& text) { state_->setJSONFieldCount(text.toStdString()); });
    connect(moreButton_, &QPushButton::clicked, this, &JSONConfigurationView::toggleEditor);
    connect(&state, &MainWindowState::formChanged, this, &JSONConfigurationView::refresh);
    connect(&state, &MainWindowState::generatingChanged, this, &JSONConfigurationView::refresh);
    refresh();
}

void JSONConfigurationView::refresh() {
    const FormState& form = state_->form();
    showText(*rowField_, form.jsonRowCount);
    showText(*fieldField_, form.jsonFieldCount);
    const bool idle = !state_->isGenerating();
    rowField_->setEnabled(idle);
    fieldField_->setEnabled(idle);
    const auto count = parseInteger(form.jsonFieldCount);
    moreButton_->setEnabled(idle && count && *count >= 1 && *count <= kMaxJSONFieldCount);
}

void JSONConfigurationView::toggleEditor() {
    if (popover_ != nullptr && popover_->isVisible()) {
        popover_->close();
        return;
    }
    if (!moreButton_->isEnabled()) {
        return;
    }
    auto* popover = new Popover(moreButton_);
    popover->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(popover);
    layout->setContentsMargins(10, 10, 10, 10);
    editor_ = new JSONFieldConfigurationView(*state_, popover);
    layout->addWidget(editor_);
    popover_ = popover;
    popover->present();
}

JSONFieldConfigurationView* JSONConfigurationView::editor() const { return editor_; }

}  // namespace stubforge::ui
