#include "platform/linux/evdev_keyboard.h"

#include "platform/linux/evdev_node.h"
#include "platform/linux/event_handoff.h"
#include "platform/linux/hotplug_watch.h"
#include "platform/linux/poll_thread.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

Q_LOGGING_CATEGORY(lcInput, "korvel.input", QtInfoMsg)

namespace {

constexpr quint64 kWatchTag = 1; // node ids start above it

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// At most three pieces, in one pass: a device name holding "%2" stays as it is.
QString filled(const QString& text, const QStringList& args) {
    switch (args.size()) {
    case 0:
        return text;
    case 1:
        return text.arg(args[0]);
    case 2:
        return text.arg(args[0], args[1]);
    default:
        return text.arg(args[0], args[1], args[2]);
    }
}

} // namespace

EvdevKeyboard::EvdevKeyboard(QString root) : tree_(std::move(root)) {}

EvdevKeyboard::~EvdevKeyboard() {
    close();
}

QString EvdevKeyboard::inputRootFromEnvironment() {
    const QString root = qEnvironmentVariable("KORVEL_INPUT_ROOT");
    return root.isEmpty() ? QStringLiteral("/") : root;
}

bool EvdevKeyboard::accessGranted() {
    const QStringList nodes = tree_.keyboards();
    if (nodes.isEmpty())
        return true; // nothing is being withheld
    for (const QString& node : nodes) {
        const int fd = ::open(QFile::encodeName(tree_.devInput() + node).constData(),
                              O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
    }
    return false;
}

bool EvdevKeyboard::connected(quint32 vendor, quint32 product) {
    const QStringList nodes = tree_.keyboards();
    return std::any_of(nodes.begin(), nodes.end(), [&](const QString& node) {
        const InputTree::Identity identity = tree_.identity(node);
        // Without its node (not made yet, or taken away first) it cannot be read.
        return identity.vendor == vendor && identity.product == product &&
               QFile::exists(tree_.devInput() + node);
    });
}

qint64 EvdevKeyboard::nowMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

QString EvdevKeyboard::problem() const {
    std::lock_guard lock(mutex_);
    return problems_.empty() ? QString() : problems_.begin()->second.shown;
}

std::optional<bool> EvdevKeyboard::grabbedByOther(const QString& node) {
    std::lock_guard lock(mutex_);
    for (const auto& [id, open] : nodes_) {
        if (open->name() == node)
            return open->grabbedByOther();
    }
    return std::nullopt;
}

void EvdevKeyboard::setProblem(const QString& key, const char* text, const QStringList& args) {
    const auto it = problems_.find(key);
    if (!text) {
        if (it != problems_.end()) {
            qCInfo(lcInput).noquote() << "resolved:" << it->second.told;
            problems_.erase(it);
        }
        return;
    }
    const QString told = filled(QString::fromUtf8(text), args);
    if (it != problems_.end() && it->second.told == told)
        return; // told already
    problems_[key] = {told, filled(QCoreApplication::translate("EvdevKeyboard", text), args)};
    qCWarning(lcInput).noquote() << told;
}

void EvdevKeyboard::setWatchProblem(int error) {
    setProblem(
        QStringLiteral("dev/input"),
        error ? QT_TRANSLATE_NOOP("EvdevKeyboard", "Can't watch for keyboards being plugged in: %1")
              : nullptr,
        {errnoText(error)});
}

bool EvdevKeyboard::open(Handler handler) {
    if (poll_)
        return true;
    auto handoff = std::make_unique<EventHandoff>([this] { drain(); });
    auto watch = std::make_unique<HotplugWatch>(tree_.devInput());
    auto poll = std::make_unique<PollThread>();
    int error = handoff->error() ? handoff->error()
                : watch->error() ? watch->error()
                                 : poll->error();
    if (error == 0)
        error = poll->add(watch->fd(), kWatchTag);
    if (error != 0) {
        // Each piece has closed what it opened: the retry timer calls again soon.
        std::lock_guard lock(mutex_);
        setProblem(QString(), QT_TRANSLATE_NOOP("EvdevKeyboard", "Can't read the keyboards: %1"),
                   {errnoText(error)});
        return false;
    }
    handler_ = std::move(handler);
    std::lock_guard lock(mutex_);
    handoff_ = std::move(handoff);
    watch_ = std::move(watch);
    poll_ = std::move(poll);
    setProblem(QString());
    setWatchProblem(watch_->watch());
    scanNodes();
    poll_->start([this](quint64 tag) { onReadable(tag); });
    return true;
}

void EvdevKeyboard::close() {
    if (!poll_)
        return;
    poll_->stop(); // first: nothing reads or opens behind our back from here on
    std::lock_guard lock(mutex_);
    nodes_.clear();
    poll_.reset();
    watch_.reset();
    handoff_.reset(); // with any events not yet taken
    // Told again if they still hold when capture is opened again.
    problems_.clear();
}

void EvdevKeyboard::drain() {
    std::deque<KeyEvent> events;
    {
        std::lock_guard lock(mutex_);
        if (!handoff_)
            return;
        std::vector<int> ids;
        for (const auto& [id, node] : nodes_)
            ids.push_back(id);
        for (const int id : ids)
            readNode(id);
        events = handoff_->take();
    }
    for (const KeyEvent& event : events)
        handler_(event);
}

void EvdevKeyboard::onReadable(quint64 tag) {
    std::lock_guard lock(mutex_);
    if (tag != kWatchTag) {
        readNode(static_cast<int>(tag));
        return;
    }
    for (const HotplugWatch::Change& change : watch_->read()) {
        switch (change.kind) {
        case HotplugWatch::Change::rescan:
            setWatchProblem(watch_->watch());
            scanNodes();
            break;
        case HotplugWatch::Change::gone:
            nodeGone(change.node);
            break;
        case HotplugWatch::Change::changed:
            openNode(change.node);
            break;
        }
    }
}

void EvdevKeyboard::scanNodes() {
    for (const QString& node : tree_.eventNodes())
        openNode(node);
}

void EvdevKeyboard::openNode(const QString& node) {
    for (const auto& [id, open] : nodes_) {
        if (open->name() == node)
            return;
    }
    if (!tree_.isKeyboard(node))
        return;
    const InputTree::Identity identity = tree_.identity(node);
    int error = 0; // a node that cannot be opened yet is not a problem
    const int id = nextId_ + 1;
    auto opened = EvdevNode::open(
        tree_.devInput() + node, node, static_cast<quint64>(id), identity,
        [this](const KeyEvent& event) { handoff_->push(event); }, &error);
    if (!opened)
        return; // permissions may come later (a change of its attributes)
    nextId_ = id;
    if ((error = poll_->add(opened->fd(), static_cast<quint64>(id))) != 0) {
        setProblem(node, QT_TRANSLATE_NOOP("EvdevKeyboard", "Can't watch keyboard %1 (%2): %3"),
                   {node, identity.name, errnoText(error)});
        return;
    }
    setProblem(node);
    nodes_.emplace(id, std::move(opened));
    handoff_->push({KeyEvent::plugged, 0, 0, 0, nowMs(), identity.vendor, identity.product,
                    identity.name, static_cast<quint64>(id)});
}

void EvdevKeyboard::closeNode(int id, bool gone) {
    const auto it = nodes_.find(id);
    if (it == nodes_.end())
        return;
    poll_->remove(it->second->fd());
    if (gone)
        it->second->gone(nowMs());
    nodes_.erase(it);
}

void EvdevKeyboard::readNode(int id) {
    const auto it = nodes_.find(id);
    if (it != nodes_.end() && !it->second->read())
        closeNode(id, true);
}

void EvdevKeyboard::nodeGone(const QString& node) {
    setProblem(node);
    for (const auto& [id, open] : nodes_) {
        if (open->name() == node) {
            const int gone = id; // a copy: reading may close the node and erase its entry
            readNode(gone);      // keep what it sent before it went
            closeNode(gone, true);
            return;
        }
    }
}
