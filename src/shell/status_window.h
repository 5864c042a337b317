#pragma once

#include "core/agent.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QLabel;
class QVBoxLayout;
class StatusMenu;

// The tray menu as a small window, for desktops without a tray: the same status
// lines, kept current, and the same actions. Closing it hides it; the agent runs
// on. It comes back where it was last.
class StatusWindow : public QWidget {
    Q_OBJECT
  public:
    explicit StatusWindow(StatusMenu& menu);

    // Shows it where it was last, in front of other windows.
    void bringToFront();
    QList<QLabel*> lines() const { return lines_; }
    QAbstractButton* buttonFor(const QAction* action) const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void show(const Agent::MenuTexts& texts);
    // asked: runs first, and the action follows only when it says yes.
    void bind(QAbstractButton* button, QAction* action, std::function<bool()> asked = {});
    // Quitting from the window ends delivery: asked first (the tray menu's is direct).
    bool quitConfirmed();
    void rememberPlace();

    StatusMenu& menu_;
    QPointer<QObject> front_;
    QVBoxLayout* linesBox_;
    QList<QLabel*> lines_;
    QList<std::pair<QAbstractButton*, const QAction*>> buttons_;
};
