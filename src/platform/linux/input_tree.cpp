#include "platform/linux/input_tree.h"

#include <QDir>
#include <QFile>

#include <linux/input.h>

namespace {

QByteArray readSmall(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(4096).trimmed();
}

} // namespace

bool InputTree::isEventNode(const QString& name) {
    if (!name.startsWith(QLatin1String("event")) || name.size() == 5)
        return false;
    for (qsizetype i = 5; i < name.size(); ++i) {
        if (!name[i].isDigit())
            return false;
    }
    return true;
}

QStringList InputTree::eventNodes() const {
    QStringList nodes = QDir(sysInput()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    nodes.removeIf([](const QString& node) { return !isEventNode(node); });
    return nodes;
}

// The rule udev uses for keyboards: EV_KEY, and key codes 1..31 (Esc, the digits,
// Q to D) all present.
bool InputTree::isKeyboard(const QString& node) const {
    const QString device = sysInput() + node + QStringLiteral("/device/");
    bool ok = false;
    const quint64 ev = readSmall(device + QStringLiteral("capabilities/ev")).toULongLong(&ok, 16);
    if (!ok || !(ev & (1u << EV_KEY)))
        return false;
    const QList<QByteArray> words =
        readSmall(device + QStringLiteral("capabilities/key")).split(' ');
    const quint64 low = words.isEmpty() ? 0 : words.last().toULongLong(&ok, 16);
    return ok && (low & 0xFFFFFFFEull) == 0xFFFFFFFEull;
}

QStringList InputTree::keyboards() const {
    QStringList nodes = eventNodes();
    nodes.removeIf([this](const QString& node) { return !isKeyboard(node); });
    return nodes;
}

InputTree::Identity InputTree::identity(const QString& node) const {
    const QString device = sysInput() + node + QStringLiteral("/device/");
    Identity identity;
    identity.vendor = readSmall(device + QStringLiteral("id/vendor")).toUInt(nullptr, 16);
    identity.product = readSmall(device + QStringLiteral("id/product")).toUInt(nullptr, 16);
    QFile nameFile(device + QStringLiteral("name"));
    if (nameFile.open(QIODevice::ReadOnly)) {
        QByteArray name = nameFile.read(4096);
        if (name.endsWith('\n'))
            name.chop(1);
        identity.name = QString::fromUtf8(name);
    }
    return identity;
}
