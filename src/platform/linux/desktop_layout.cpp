#include "platform/linux/desktop_layout.h"

#include <QFile>
#include <QRegularExpression>

namespace {

QString combined(const QString& layouts, const QString& variants) {
    const QString layout = layouts.section(u',', 0, 0).trimmed();
    const QString variant = variants.section(u',', 0, 0).trimmed();
    if (layout.isEmpty() || variant.isEmpty())
        return layout;
    return layout + u'(' + variant + u')';
}

} // namespace

QString desktopKeyboardLayout(const QString& root) {
    if (const QString env = qEnvironmentVariable("XKB_DEFAULT_LAYOUT"); !env.trimmed().isEmpty())
        return combined(env, qEnvironmentVariable("XKB_DEFAULT_VARIANT"));
    QFile file(root + QStringLiteral("/etc/default/keyboard"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QString layout, variant;
    static const QRegularExpression line(
        QStringLiteral(R"re(^\s*(XKBLAYOUT|XKBVARIANT)\s*=\s*"?([^"#]*)"?)re"));
    while (!file.atEnd()) {
        const QRegularExpressionMatch m = line.match(QString::fromUtf8(file.readLine()));
        if (m.hasMatch())
            (m.captured(1) == u"XKBLAYOUT" ? layout : variant) = m.captured(2);
    }
    return combined(layout, variant);
}
