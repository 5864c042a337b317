#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// An icon in the desktop's tray with its menu, both drawn by the tray host. Texts
// are shown as they are: nothing in them marks a shortcut or markup.
class TrayItem {
  public:
    // One size of an icon: width * height pixels, ARGB32 in network byte order.
    struct Image {
        int width = 0;
        int height = 0;
        QByteArray argb;
    };
    struct Entry {
        QString text;
        bool separator = false;
        bool enabled = true;
        bool visible = true;
        bool checkable = false;
        bool checked = false;
    };

    virtual ~TrayItem() = default;

    // Puts the item in the tray, and again whenever a new tray host comes.
    virtual void show() = 0;
    virtual void setIcons(const QList<Image>& normal, const QList<Image>& attention) = 0;
    // The attention state: the host shows the attention icon.
    virtual void setAttention(bool attention) = 0;
    virtual void setToolTip(const QString& title, const QString& text) = 0;
    virtual void setMenu(const QList<Entry>& entries) = 0;

    // The operator chose menu entry `index`.
    std::function<void(int index)> onTriggered = [](int) {};
    // The host is about to show the menu.
    std::function<void()> onMenuOpening = [] {};
    // The operator clicked the icon itself.
    std::function<void()> onActivated = [] {};
};
