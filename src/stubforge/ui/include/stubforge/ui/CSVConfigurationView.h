#pragma once

#include "stubforge/ui/CSVColumnConfigurationView.h"
#include "stubforge/ui/MainWindowState.h"

#include <QPointer>
#include <QWidget>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace stubforge::ui {

class Popover;

// The CSV row of the form: the criteria, then the size field or the column
// count with "More...", which opens the column editor.
class CSVConfigurationView final : public QWidget {
    Q_OBJECT
public:
    CSVConfigurationView(MainWindowState& state, TemplateImport templateImport, QWidget* parent = nullptr);

    // Opens or closes the column editor, as "More..." does.
    void toggleEditor();
    CSVColumnConfigurationView* editor() const;

    // Asks for a CSV template and imports its header as the columns. A
    // failure's reason shows in the panel, and in the editor while open.
    void importTemplate();

private:
    void rebuild();
    void refresh();
    void openEditor();

    MainWindowState* state_;
    TemplateImport templateImport_;
    QHBoxLayout* layout_;
    QComboBox* criteria_;
    QWidget* variable_ = nullptr;
    QLineEdit* sizeField_ = nullptr;
    QLineEdit* countField_ = nullptr;
    QPushButton* moreButton_ = nullptr;
    QLabel* failureLabel_ = nullptr;
    QPointer<Popover> popover_;
    QPointer<CSVColumnConfigurationView> editor_;
    CSVCriteria shown_;
};

}  // namespace stubforge::ui
