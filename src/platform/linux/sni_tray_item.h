#pragma once

#include "platform/tray_item.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QObject>
#include <QVariantMap>

// D-Bus forms of the StatusNotifierItem and DBusMenu types.
struct SniImage {
    int width = 0;
    int height = 0;
    QByteArray argb;
};
struct SniToolTip {
    QString icon;
    QList<SniImage> images;
    QString title;
    QString text;
};
struct DbusMenuLayout { // (ia{sv}av): children are DbusMenuLayout in variants
    int id = 0;
    QVariantMap properties;
    QVariantList children;
};
struct DbusMenuProperties { // (ia{sv})
    int id = 0;
    QVariantMap properties;
};
struct DbusMenuRemoved { // (ias)
    int id = 0;
    QStringList names;
};
struct DbusMenuEvent { // (isvu)
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
Q_DECLARE_METATYPE(SniImage)
Q_DECLARE_METATYPE(SniToolTip)
Q_DECLARE_METATYPE(DbusMenuLayout)
Q_DECLARE_METATYPE(DbusMenuProperties)
Q_DECLARE_METATYPE(DbusMenuRemoved)
Q_DECLARE_METATYPE(DbusMenuEvent)

class SniTrayItem;

// com.canonical.dbusmenu at /MenuBar: the item's menu, entry i having id i + 1, the
// root id 0. Any process on the session bus may call it: an id that is no item, or an
// event it does not know, gets an error answer and changes nothing.
class SniMenu : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)
  public:
    explicit SniMenu(SniTrayItem& item);
    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

  public Q_SLOTS:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   DbusMenuLayout& layout);
    QList<DbusMenuProperties> GetGroupProperties(const QList<int>& ids,
                                                 const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const QList<DbusMenuEvent>& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

  Q_SIGNALS:
    void LayoutUpdated(uint revision, int parent);
    void ItemsPropertiesUpdated(const QList<DbusMenuProperties>& updated,
                                const QList<DbusMenuRemoved>& removed);
    void ItemActivationRequested(int id, uint timestamp);

  private:
    friend class SniTrayItem;
    bool isItem(int id) const;
    // An item's properties, only those named where `names` is not empty.
    QVariantMap properties(int id, const QStringList& names = {}) const;
    bool handle(int id, const QString& eventId);
    // Whether the layout changed since the host last read it, after bringing it up to date.
    bool refreshForShowing();
    // Answers the call with an InvalidArgs error (when it came over the bus).
    void refuse(const QString& why);
    SniTrayItem& item_;
    uint revision_ = 1;
    uint sentRevision_ = 0; // the revision of the last layout a host read
};

// A StatusNotifierItem on the session bus (org.kde.StatusNotifierItem-PID-1 at
// /StatusNotifierItem), registered with org.kde.StatusNotifierWatcher, and again
// whenever a watcher comes.
class SniTrayItem : public QObject, public TrayItem, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ emptyName)
    Q_PROPERTY(QList<SniImage> IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ emptyName)
    Q_PROPERTY(QList<SniImage> OverlayIconPixmap READ noPixmap)
    Q_PROPERTY(QString AttentionIconName READ emptyName)
    Q_PROPERTY(QList<SniImage> AttentionIconPixmap READ attentionIconPixmap)
    Q_PROPERTY(QString AttentionMovieName READ emptyName)
    Q_PROPERTY(SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
  public:
    // title: the application's name, shown where hosts list their items.
    explicit SniTrayItem(const QString& title, QDBusConnection bus = QDBusConnection::sessionBus());
    ~SniTrayItem() override;

    void show() override;
    void setIcons(const QList<Image>& normal, const QList<Image>& attention) override;
    void setAttention(bool attention) override;
    void setToolTip(const QString& title, const QString& text) override;
    void setMenu(const QList<Entry>& entries) override;

    QString serviceName() const { return service_; }
    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QStringLiteral("korvel-agent"); }
    QString title() const { return title_; }
    QString status() const;
    int windowId() const { return 0; }
    QString emptyName() const { return {}; }
    QList<SniImage> iconPixmap() const { return icon_; }
    QList<SniImage> noPixmap() const { return {}; }
    QList<SniImage> attentionIconPixmap() const { return attentionIcon_; }
    SniToolTip toolTip() const;
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(QStringLiteral("/MenuBar")); }

  public Q_SLOTS:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);

  Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

  private:
    friend class SniMenu;
    void registerWithWatcher();

    QDBusConnection bus_;
    QString service_;
    QString title_;
    SniMenu menu_;
    QDBusServiceWatcher watcher_;
    QList<SniImage> icon_;
    QList<SniImage> attentionIcon_;
    bool attention_ = false;
    QString tipTitle_;
    QString tipText_;
    QList<Entry> entries_;
    bool shown_ = false;
};
