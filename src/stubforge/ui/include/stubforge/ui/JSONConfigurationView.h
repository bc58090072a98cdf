#pragma once

#include "stubforge/ui/JSONFieldConfigurationView.h"
#include "stubforge/ui/MainWindowState.h"

#include <QPointer>
#include <QWidget>

class QLineEdit;
class QPushButton;

namespace stubforge::ui {

class Popover;

// The JSON row of the form: the record count, the field count and "More...",
// which opens the field editor.
class JSONConfigurationView final : public QWidget {
    Q_OBJECT
public:
    explicit JSONConfigurationView(MainWindowState& state, QWidget* parent = nullptr);

    void toggleEditor();
    JSONFieldConfigurationView* editor() const;

private:
    void refresh();

    MainWindowState* state_;
    QLineEdit* rowField_;
    QLineEdit* fieldField_;
    QPushButton* moreButton_;
    QPointer<Popover> popover_;
    QPointer<JSONFieldConfigurationView> editor_;
};

}  // namespace stubforge::ui
