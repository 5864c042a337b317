#include "shell/why_dialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

QString shown(const QJsonValue& v) {
    if (v.isNull() || v.isUndefined())
        return QCoreApplication::translate("WhyDialog", "unknown");
    if (v.isBool())
        return v.toBool() ? QCoreApplication::translate("WhyDialog", "yes")
                          : QCoreApplication::translate("WhyDialog", "no");
    return v.toVariant().toString();
}

} // namespace

WhyDialog::WhyDialog(const QJsonObject& report, QWidget* parent)
    : QDialog(parent), report_(report) {
    setWindowTitle(tr("Why no scans?"));
    auto* layout = new QVBoxLayout(this);
    const QStringList problems = report.value(QLatin1String("problems")).toVariant().toStringList();
    problems_ = new QLabel(this);
    problems_->setTextFormat(Qt::PlainText); // names and addresses show as they are
    problems_->setWordWrap(true);
    problems_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QStringList numbered;
    for (qsizetype i = 0; i < problems.size(); ++i)
        numbered << QStringLiteral("%1. %2").arg(i + 1).arg(problems[i]);
    problems_->setText(problems.isEmpty()
                           ? tr("Nothing keeps scans from arriving: the scanner is there and the "
                                "server answers.")
                           : numbered.join(QLatin1Char('\n')));
    layout->addWidget(problems_);

    details_ = new QLabel(detailsText(report), this);
    details_->setTextFormat(Qt::PlainText);
    details_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(details_);
    scroll->setWidgetResizable(true);
    layout->addWidget(new QLabel(tr("Details"), this));
    layout->addWidget(scroll, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    copy_ = buttons->addButton(tr("Copy the report"), QDialogButtonBox::ActionRole);
    connect(copy_, &QPushButton::clicked, this, [this] {
        QGuiApplication::clipboard()->setText(
            QString::fromUtf8(QJsonDocument(report_).toJson(QJsonDocument::Indented)));
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(560, 420);
}

QString WhyDialog::detailsText(const QJsonObject& r) {
    const QJsonObject agent = r.value(QLatin1String("agent")).toObject();
    const QJsonObject server = r.value(QLatin1String("server")).toObject();
    const QJsonObject queue = r.value(QLatin1String("queue")).toObject();
    QStringList lines{
        tr("Korvel Agent %1, process %2").arg(shown(agent["version"]), shown(agent["pid"])),
        tr("Server %1: last answer %2, %3 s ago, reached: %4")
            .arg(shown(server["url"]), shown(server["lastStatus"]),
                 shown(server["secondsSinceAnswer"]), shown(server["reachable"])),
        tr("Waiting to send: %1, the oldest for %2 s")
            .arg(shown(queue["waiting"]), shown(queue["oldestSeconds"]))};
    for (const QJsonValue d : r.value(QLatin1String("devices")).toArray()) {
        lines << QString();
        lines << QStringLiteral("%1 (%2:%3)%4")
                     .arg(shown(d["name"]), shown(d["vendor"]), shown(d["product"]),
                          d["chosen"].toBool() ? tr(", the chosen scanner") : QString());
        lines << tr("  %1 at %2; connected: %3, readable: %4")
                     .arg(shown(d["interface"]), shown(d["node"]), shown(d["connected"]),
                          shown(d["readable"]));
        lines << tr("  inhibited: %1, authorised: %2, battery: %3 %")
                     .arg(shown(d["inhibited"]), shown(d["authorized"]), shown(d["battery"]));
        lines << tr("  last key %1 s ago, scans since start: %2, held by another program: %3")
                     .arg(shown(d["secondsSinceKey"]), shown(d["scans"]),
                          shown(d["grabbedByOther"]));
    }
    return lines.join(QLatin1Char('\n'));
}
