#pragma once

#include "platform/keyboard.h"
#include "platform/linux/evdev_decoder.h"

#include <QObject>
#include <QString>

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

class QSocketNotifier;

// Key events of every keyboard-class evdev device under `root` (normally "/"),
// read passively: nodes are opened read-only and never grabbed, so the focused
// application still gets every key. A reader thread drains the nodes as soon as
// they are readable (the kernel keeps only 64 events per reader) and hands the
// events to the thread that called open(), in order.
class EvdevKeyboard final : public QObject, public KeyboardSource {
    Q_OBJECT
  public:
    explicit EvdevKeyboard(QString root);
    ~EvdevKeyboard() override;

    // $KORVEL_INPUT_ROOT, or "/".
    static QString inputRootFromEnvironment();

    bool accessGranted() override;
    bool open(Handler handler) override;
    void drain() override;
    qint64 nowMs() override;
    QString problem() const override;

  private:
    struct Device {
        int fd = -1;
        QString node; // "eventN"
        std::unique_ptr<EvdevDecoder> decoder;
        char partial[sizeof(input_event)] = {};
        int partialSize = 0;
    };
    struct Identity {
        quint32 vendor = 0;
        quint32 product = 0;
        QString name;
    };

    QString sysInput() const;
    QString devInput() const;
    bool isKeyboard(const QString& node, Identity* identity) const;
    QStringList keyboardNodes() const;
    void closeAll();

    // All of these run with mutex_ held.
    void openNode(const QString& node);
    void closeDevice(int id, bool gone);
    void readDevice(int id);
    void readAllDevices();
    void handleInotify();
    void watchFolders();
    void scanNodes();
    void push(const KeyEvent& event);
    void setProblem(const QString& key, const QString& text);

    void run();

    const QString root_;
    Handler handler_;
    mutable std::mutex mutex_;
    std::map<int, Device> devices_;
    std::deque<KeyEvent> pending_;
    // What went wrong, by node ("" for capture as a whole); each is told once.
    std::map<QString, QString> problems_;
    int nextId_ = 1;
    int epoll_ = -1;
    int inotify_ = -1;
    int inputWatch_ = -1;
    int devWatch_ = -1;
    int wake_ = -1; // reader thread -> main thread: events are waiting
    int stop_ = -1; // main thread -> reader thread: finish
    std::thread reader_;
    QSocketNotifier* notifier_ = nullptr;
};
