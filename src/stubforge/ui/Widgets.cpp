#include "stubforge/ui/Widgets.h"

#include <QLabel>
#include <QLineEdit>

namespace stubforge::ui {

QFont calloutFont(const QFont& base) {
    QFont font(base);
    font.setPointSizeF(std::max(8.0, base.pointSizeF() - 0.5));
    return font;
}

QFont footnoteFont(const QFont& base) {
    QFont font(base);
    font.setPointSizeF(std::max(7.0, base.pointSizeF() - 1.5));
    return font;
}

QLabel* failureLabel(const QString& objectName, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setWordWrap(true);
    label->setFont(footnoteFont(label->font()));
    label->setStyleSheet("color: #d70015;");
    label->hide();
    return label;
}

QLabel* formLabel(std::string_view text, QWidget* parent) {
    auto* label = new QLabel(qt(text), parent);
    label->setFont(calloutFont(label->font()));
    label->setContentsMargins(12, 0, 0, 0);
    // Never wider than its text, so the field stays beside it.
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    return label;
}

QLineEdit* numberField(const QString& objectName, int width, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(objectName);
    field->setFixedWidth(width);
    field->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return field;
}

void showText(QLineEdit& field, const std::string& text) {
    const QString wanted = QString::fromStdString(text);
    if (field.text() != wanted) {
        field.setText(wanted);
    }
}

}  // namespace stubforge::ui
