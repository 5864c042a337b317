#pragma once

#include <QString>
#include <QStringList>

// What sysfs says about the input devices under a root standing in for "/":
// which event nodes are keyboards, and who each one is.
class InputTree {
  public:
    struct Identity {
        quint32 vendor = 0;
        quint32 product = 0;
        QString name; // null when the device reports none
    };

    explicit InputTree(QString root) : root_(std::move(root)) {}

    const QString& root() const { return root_; }
    QString devInput() const { return root_ + QStringLiteral("/dev/input/"); }
    QString sysInput() const { return root_ + QStringLiteral("/sys/class/input/"); }

    // "eventN", nothing else.
    static bool isEventNode(const QString& name);
    // Every event node sysfs lists, keyboard or not.
    QStringList eventNodes() const;
    bool isKeyboard(const QString& node) const;
    QStringList keyboards() const;
    Identity identity(const QString& node) const;

  private:
    QString root_;
};
