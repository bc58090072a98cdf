#pragma once

#include <QFont>
#include <QString>

#include <string_view>

class QLabel;
class QLineEdit;
class QWidget;

// Small pieces the form's views share.
namespace stubforge::ui {

inline QString qt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The space between the items of a form row: a field's leading padding, so
// each label sits right beside its field; labels bring their own 12 points.
inline constexpr int kFormRowSpacing = 4;

// A form row's label: callout size, 12 points of leading space.
QLabel* formLabel(std::string_view text, QWidget* parent);

// A count or size field: rounded border, text at the trailing edge.
QLineEdit* numberField(const QString& objectName, int width, QWidget* parent);

// Keeps a field's text in step with `text` without moving the cursor of a
// field the user is typing in.
void showText(QLineEdit& field, const std::string& text);

// A hidden, wrapping footnote line in the failure colour, for a message that
// appears when an action fails.
QLabel* failureLabel(const QString& objectName, QWidget* parent);

QFont calloutFont(const QFont& base);
QFont footnoteFont(const QFont& base);

}  // namespace stubforge::ui
