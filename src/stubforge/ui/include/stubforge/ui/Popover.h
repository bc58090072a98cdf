#pragma once

#include <QFrame>
#include <QPointer>

namespace stubforge::ui {

// A panel that opens under a button and closes when the user clicks
// elsewhere or presses Escape. It takes the colours of the button's window,
// which a separate window would not inherit.
class Popover final : public QFrame {
    Q_OBJECT
public:
    explicit Popover(QWidget* anchor);

    // Shows the popover under its anchor.
    void present();

signals:
    void closed();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QPointer<QWidget> anchor_;
};

}  // namespace stubforge::ui
