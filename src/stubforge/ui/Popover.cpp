#include "stubforge/ui/Popover.h"

#include <QGuiApplication>
#include <QScreen>

namespace stubforge::ui {

Popover::Popover(QWidget* anchor) : QFrame(anchor, Qt::Popup), anchor_(anchor) {
    setFrameShape(QFrame::StyledPanel);
    setAttribute(Qt::WA_WindowPropagation);
}

void Popover::present() {
    if (anchor_ == nullptr) {
        return;
    }
    setPalette(anchor_->window()->palette());
    adjustSize();
    QPoint position = anchor_->mapToGlobal(QPoint(anchor_->width() / 2 - width() / 2, anchor_->height() + 4));
    if (const QScreen* screen = anchor_->screen()) {
        const QRect available = screen->availableGeometry();
        position.setX(
            std::clamp(position.x(), available.left(), std::max(available.left(), available.right() - width())));
        position.setY(
            std::clamp(position.y(), available.top(), std::max(available.top(), available.bottom() - height())));
    }
    move(position);
    show();
}

void Popover::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    emit closed();
}

}  // namespace stubforge::ui
