#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>
#include <QWindow>

// Brings a dialog to the front once it is on screen: raising or activating a window
// that is not exposed yet does nothing. Owned by the widget; `new` it and forget it.
class FrontWhenShown : public QObject {
  public:
    explicit FrontWhenShown(QWidget& widget) : QObject(&widget), widget_(widget) {
        widget.winId(); // the native window whose exposure is watched
        widget.windowHandle()->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && widget_.windowHandle()->isExposed()) {
            watched->removeEventFilter(this);
            widget_.raise();
            widget_.activateWindow();
        }
        return false;
    }

  private:
    QWidget& widget_;
};
