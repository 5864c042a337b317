#include "platform/linux/sni_tray_item.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>

#include <algorithm>

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kMenuPath = QStringLiteral("/MenuBar");

} // namespace

QDBusArgument& operator<<(QDBusArgument& arg, const SniImage& image) {
    arg.beginStructure();
    arg << image.width << image.height << image.argb;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, SniImage& image) {
    arg.beginStructure();
    arg >> image.width >> image.height >> image.argb;
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const SniToolTip& tip) {
    arg.beginStructure();
    arg << tip.icon << tip.images << tip.title << tip.text;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, SniToolTip& tip) {
    arg.beginStructure();
    arg >> tip.icon >> tip.images >> tip.title >> tip.text;
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const DbusMenuLayout& layout) {
    arg.beginStructure();
    arg << layout.id << layout.properties;
    arg.beginArray(qMetaTypeId<QDBusVariant>());
    for (const QVariant& child : layout.children)
        arg << QDBusVariant(child);
    arg.endArray();
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DbusMenuLayout& layout) {
    arg.beginStructure();
    arg >> layout.id >> layout.properties;
    arg.beginArray();
    layout.children.clear();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        layout.children << child.variant();
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const DbusMenuProperties& item) {
    arg.beginStructure();
    arg << item.id << item.properties;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DbusMenuProperties& item) {
    arg.beginStructure();
    arg >> item.id >> item.properties;
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const DbusMenuRemoved& item) {
    arg.beginStructure();
    arg << item.id << item.names;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DbusMenuRemoved& item) {
    arg.beginStructure();
    arg >> item.id >> item.names;
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const DbusMenuEvent& event) {
    arg.beginStructure();
    arg << event.id << event.eventId << event.data << event.timestamp;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DbusMenuEvent& event) {
    arg.beginStructure();
    arg >> event.id >> event.eventId >> event.data >> event.timestamp;
    arg.endStructure();
    return arg;
}

SniMenu::SniMenu(SniTrayItem& item) : item_(item) {}

bool SniMenu::isItem(int id) const {
    return id >= 1 && id <= item_.entries_.size();
}

void SniMenu::refuse(const QString& why) {
    if (calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, why);
}

QVariantMap SniMenu::properties(int id, const QStringList& names) const {
    const TrayItem::Entry& e = item_.entries_.at(id - 1);
    QVariantMap p;
    if (e.separator) {
        p = {{QStringLiteral("type"), QStringLiteral("separator")},
             {QStringLiteral("visible"), e.visible}};
    } else {
        // DBusMenu hosts take "_" for a shortcut mark and "__" for "_".
        p = {{QStringLiteral("label"), QString(e.text).replace(u'_', QStringLiteral("__"))},
             {QStringLiteral("enabled"), e.enabled},
             {QStringLiteral("visible"), e.visible}};
        if (e.checkable) {
            p.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
            p.insert(QStringLiteral("toggle-state"), e.checked ? 1 : 0);
        }
    }
    if (!names.isEmpty()) {
        for (auto it = p.begin(); it != p.end();)
            it = names.contains(it.key()) ? std::next(it) : p.erase(it);
    }
    return p;
}

uint SniMenu::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                        DbusMenuLayout& layout) {
    layout = DbusMenuLayout{parentId, {}, {}};
    if (parentId == 0) {
        layout.properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
        if (recursionDepth != 0) { // negative: all levels
            for (int id = 1; id <= item_.entries_.size(); ++id) {
                layout.children << QVariant::fromValue(
                    DbusMenuLayout{id, properties(id, propertyNames), {}});
            }
        }
    } else if (isItem(parentId)) {
        layout.properties = properties(parentId, propertyNames);
    } else {
        refuse(QStringLiteral("no menu item %1").arg(parentId));
        return 0;
    }
    sentRevision_ = revision_;
    return revision_;
}

QList<DbusMenuProperties> SniMenu::GetGroupProperties(const QList<int>& ids,
                                                      const QStringList& propertyNames) {
    QList<DbusMenuProperties> result;
    for (int id = 1; id <= item_.entries_.size(); ++id) {
        if (ids.isEmpty() || ids.contains(id))
            result.append(DbusMenuProperties{id, properties(id, propertyNames)});
    }
    // Ids of items gone since the host's last layout are left out; none at all known
    // is a wrong question.
    if (result.isEmpty() && !ids.isEmpty())
        refuse(QStringLiteral("none of the %1 ids is a menu item").arg(ids.size()));
    return result;
}

QDBusVariant SniMenu::GetProperty(int id, const QString& name) {
    const QVariantMap p = isItem(id) ? properties(id) : QVariantMap();
    const auto it = p.find(name);
    if (it == p.end()) {
        refuse(
            isItem(id)
                ? QStringLiteral("menu item %1 has no property \"%2\"").arg(id).arg(name.left(64))
                : QStringLiteral("no menu item %1").arg(id));
        return QDBusVariant(QString());
    }
    return QDBusVariant(*it);
}

bool SniMenu::handle(int id, const QString& eventId) {
    if (id != 0 && !isItem(id))
        return false;
    if (eventId == QLatin1String("clicked")) {
        const TrayItem::Entry* e = id == 0 ? nullptr : &item_.entries_.at(id - 1);
        if (e && !e->separator && e->enabled && e->visible) {
            // After the call has been answered: the action may open a modal dialog.
            QMetaObject::invokeMethod(
                this, [this, id] { item_.onTriggered(id - 1); }, Qt::QueuedConnection);
        }
    } else if (eventId == QLatin1String("opened")) {
        if (id == 0)
            item_.onMenuOpening();
    } else if (eventId != QLatin1String("closed") && eventId != QLatin1String("hovered")) {
        return false;
    }
    return true;
}

void SniMenu::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    if (!handle(id, eventId)) {
        refuse(isItem(id) || id == 0
                   ? QStringLiteral("unknown menu event \"%1\"").arg(eventId.left(64))
                   : QStringLiteral("no menu item %1").arg(id));
    }
}

QList<int> SniMenu::EventGroup(const QList<DbusMenuEvent>& events) {
    QList<int> idErrors;
    for (const DbusMenuEvent& e : events) {
        if (!handle(e.id, e.eventId))
            idErrors.append(e.id);
    }
    if (!events.isEmpty() && idErrors.size() == events.size())
        refuse(QStringLiteral("none of the %1 menu events was taken").arg(events.size()));
    return idErrors;
}

bool SniMenu::refreshForShowing() {
    item_.onMenuOpening();
    return revision_ != sentRevision_;
}

bool SniMenu::AboutToShow(int id) {
    if (id == 0)
        return refreshForShowing();
    if (!isItem(id))
        refuse(QStringLiteral("no menu item %1").arg(id));
    return false; // items have no submenus
}

QList<int> SniMenu::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    idErrors.clear();
    bool root = false;
    for (const int id : ids) {
        if (id == 0)
            root = true;
        else if (!isItem(id))
            idErrors.append(id);
    }
    if (!ids.isEmpty() && idErrors.size() == ids.size())
        refuse(QStringLiteral("none of the %1 ids is a menu item").arg(ids.size()));
    return root && refreshForShowing() ? QList<int>{0} : QList<int>{};
}

SniTrayItem::SniTrayItem(const QString& title, QDBusConnection bus)
    : bus_(std::move(bus)), service_(QStringLiteral("org.kde.StatusNotifierItem-%1-1")
                                         .arg(QCoreApplication::applicationPid())),
      title_(title), menu_(*this),
      watcher_(kWatcher, bus_, QDBusServiceWatcher::WatchForRegistration) {
    qDBusRegisterMetaType<SniImage>();
    qDBusRegisterMetaType<QList<SniImage>>();
    qDBusRegisterMetaType<SniToolTip>();
    qDBusRegisterMetaType<DbusMenuLayout>();
    qDBusRegisterMetaType<DbusMenuProperties>();
    qDBusRegisterMetaType<QList<DbusMenuProperties>>();
    qDBusRegisterMetaType<DbusMenuRemoved>();
    qDBusRegisterMetaType<QList<DbusMenuRemoved>>();
    qDBusRegisterMetaType<DbusMenuEvent>();
    qDBusRegisterMetaType<QList<DbusMenuEvent>>();
    // A tray host that restarts, or comes later, learns of the item again.
    connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        if (shown_)
            registerWithWatcher();
    });
}

SniTrayItem::~SniTrayItem() {
    if (!shown_)
        return;
    bus_.unregisterService(service_);
    bus_.unregisterObject(kItemPath);
    bus_.unregisterObject(kMenuPath);
}

void SniTrayItem::show() {
    if (!shown_) {
        shown_ = bus_.registerObject(kItemPath, this, QDBusConnection::ExportAllContents) &&
                 bus_.registerObject(kMenuPath, &menu_, QDBusConnection::ExportAllContents);
        shown_ = shown_ && bus_.registerService(service_);
    }
    if (shown_)
        registerWithWatcher();
}

void SniTrayItem::registerWithWatcher() {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kWatcher, QStringLiteral("/StatusNotifierWatcher"), kWatcher,
                                       QStringLiteral("RegisterStatusNotifierItem"));
    call << service_;
    call.setAutoStartService(false);
    bus_.asyncCall(call); // no host: nothing to show it in, nothing to report
}

void SniTrayItem::setIcons(const QList<Image>& normal, const QList<Image>& attention) {
    const auto converted = [](const QList<Image>& images) {
        QList<SniImage> out;
        for (const Image& i : images)
            out.append({i.width, i.height, i.argb});
        return out;
    };
    icon_ = converted(normal);
    attentionIcon_ = converted(attention);
    Q_EMIT NewIcon();
    Q_EMIT NewAttentionIcon();
}

QString SniTrayItem::status() const {
    return attention_ ? QStringLiteral("NeedsAttention") : QStringLiteral("Active");
}

void SniTrayItem::setAttention(bool attention) {
    if (attention == attention_)
        return;
    attention_ = attention;
    Q_EMIT NewStatus(status());
}

SniToolTip SniTrayItem::toolTip() const {
    // Plain lines: some hosts show markup as it is, others show nothing for markup
    // their toolkit does not take (a "<br/>").
    return {QString(), attention_ ? attentionIcon_ : icon_, tipTitle_, tipText_};
}

void SniTrayItem::setToolTip(const QString& title, const QString& text) {
    if (title == tipTitle_ && text == tipText_)
        return;
    tipTitle_ = title;
    tipText_ = text;
    Q_EMIT NewToolTip();
}

void SniTrayItem::setMenu(const QList<Entry>& entries) {
    const bool sameShape =
        entries.size() == entries_.size() &&
        std::equal(entries.begin(), entries.end(), entries_.begin(),
                   [](const Entry& a, const Entry& b) { return a.separator == b.separator; });
    QList<DbusMenuProperties> changed;
    for (qsizetype i = 0; sameShape && i < entries.size(); ++i) {
        const Entry &a = entries[i], &b = entries_[i];
        if (a.text != b.text || a.enabled != b.enabled || a.visible != b.visible ||
            a.checkable != b.checkable || a.checked != b.checked)
            changed.append(DbusMenuProperties{static_cast<int>(i + 1), {}});
    }
    entries_ = entries;
    if (sameShape && changed.isEmpty())
        return;
    for (DbusMenuProperties& c : changed)
        c.properties = menu_.properties(c.id);
    // Hosts that draw the menu from its last layout take in either.
    ++menu_.revision_;
    if (sameShape)
        Q_EMIT menu_.ItemsPropertiesUpdated(changed, {});
    Q_EMIT menu_.LayoutUpdated(menu_.revision_, 0);
}

void SniTrayItem::Activate(int, int) {
    onActivated();
}

void SniTrayItem::SecondaryActivate(int, int) {
    onActivated();
}

void SniTrayItem::ContextMenu(int, int) {}

void SniTrayItem::Scroll(int, const QString& orientation) {
    // Scrolling over the icon does nothing; an orientation that is neither is a wrong call.
    if (orientation.compare(QLatin1String("vertical"), Qt::CaseInsensitive) != 0 &&
        orientation.compare(QLatin1String("horizontal"), Qt::CaseInsensitive) != 0 &&
        calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("unknown scroll orientation"));
}
