#pragma once

#include "platform/keyboard.h"
#include "platform/linux/input_tree.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <mutex>
#include <optional>

class EventHandoff;
class EvdevNode;
class HotplugWatch;
class PollThread;

// Key events of every keyboard-class evdev device under `root` (normally "/"),
// read passively. While open, a reader thread drains the nodes as soon as they
// are readable (the kernel keeps only 64 events per reader) and follows keyboards
// being plugged in and out; the events reach the thread that called open(), in order.
class EvdevKeyboard final : public KeyboardSource {
  public:
    explicit EvdevKeyboard(QString root);
    ~EvdevKeyboard() override;

    // $KORVEL_INPUT_ROOT, or "/".
    static QString inputRootFromEnvironment();

    bool accessGranted() override;
    bool connected(quint32 vendor, quint32 product) override;
    bool open(Handler handler) override;
    void close() override;
    void drain() override;
    qint64 nowMs() override;
    QString problem() const override;
    // For an open node ("eventN"): see EvdevNode::grabbedByOther. Null for a node
    // not open.
    std::optional<bool> grabbedByOther(const QString& node);

  private:
    // On the reader thread.
    void onReadable(quint64 tag);
    // All of these run with mutex_ held.
    void scanNodes();
    void openNode(const QString& node);
    void closeNode(int id, bool gone);
    void readNode(int id);
    void nodeGone(const QString& node);
    // text: untranslated, with its %1.. filled from args; null when resolved.
    void setProblem(const QString& key, const char* text = nullptr, const QStringList& args = {});
    void setWatchProblem(int error);

    const InputTree tree_;
    Handler handler_;
    mutable std::mutex mutex_;
    std::map<int, std::unique_ptr<EvdevNode>> nodes_;
    // What went wrong, by node ("" for capture as a whole, "dev/input" for the
    // watch); each is told once. The menu shows it in the user's language, standard
    // error as written.
    struct Problem {
        QString told, shown;
    };
    std::map<QString, Problem> problems_;
    int nextId_ = 1;
    // Made by open(), gone after close(); the thread ends first.
    std::unique_ptr<EventHandoff> handoff_;
    std::unique_ptr<HotplugWatch> watch_;
    std::unique_ptr<PollThread> poll_;
};
