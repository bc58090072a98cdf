#pragma once

#include "stubforge/ui/CSVConfigurationView.h"
#include "stubforge/ui/JSONConfigurationView.h"
#include "stubforge/ui/MainWindowState.h"

#include <QPointer>
#include <QWidget>

class QHBoxLayout;
class QPushButton;

namespace stubforge::ui {

// The form row: the rows the chosen kind asks for, then Generate. Generate
// is enabled exactly when the form check gives a request and no generation
// is running.
class GenerationForm final : public QWidget {
    Q_OBJECT
public:
    GenerationForm(MainWindowState& state, TemplateImport templateImport, QWidget* parent = nullptr);

    QPushButton* generateButton() const { return generateButton_; }
    CSVConfigurationView* csvPanel() const { return csvPanel_; }
    JSONConfigurationView* jsonPanel() const { return jsonPanel_; }

signals:
    void generateClicked();

private:
    void rebuild();
    void refresh();

    MainWindowState* state_;
    TemplateImport templateImport_;
    QHBoxLayout* layout_;
    QWidget* rows_ = nullptr;
    QPushButton* generateButton_;
    QPointer<CSVConfigurationView> csvPanel_;
    QPointer<JSONConfigurationView> jsonPanel_;
};

}  // namespace stubforge::ui
