#include "delivery/queue_file.h"
#include "support/test_main.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>

using namespace korvel::test;

class TestQueueFile : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("queue.json")); }
    void write(const QByteArray& bytes) {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray read() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList asideFiles() const {
        return QDir(dir.path()).entryList({QStringLiteral("queue.json.unreadable-*")}, QDir::Files);
    }

  private Q_SLOTS:
    void init() {
        QDir d(dir.path());
        for (const QString& f : d.entryList(QDir::Files))
            d.remove(f);
    }

    void missingFileIsAnEmptyQueueAndNoFileIsWritten() {
        QueueFile file(path());
        QVERIFY(file.load().isEmpty());
        QVERIFY(!QFile::exists(path()));
        QVERIFY(asideFiles().isEmpty());
    }

    void roundTripKeepsEveryText() {
        const QList<QueuedScan> scans{
            {QStringLiteral("plain"), 1},
            {QStringLiteral("quote \" and backslash \\ and slash /"), 1700000000123},
            {QStringLiteral("line\nfeed\r\ttab \x01 control"), -5},
            {QStringLiteral("Grüße 日本 \U0001F600"), 9223372036854775807LL},
            {QStringLiteral("plain"), 1}, // duplicates are two scans
        };
        QueueFile file(path());
        QVERIFY(file.save(scans));
        QCOMPARE(file.load(), scans);
        // Compact, a value-then-ts object per scan, readable by any JSON reader.
        const QByteArray bytes = read();
        QVERIFY(!bytes.contains('\n'));
        QVERIFY(bytes.startsWith("[{\"value\":\"plain\",\"ts\":1},"));
        const QJsonDocument doc = QJsonDocument::fromJson(bytes);
        QCOMPARE(doc.array().size(), 5);
        QCOMPARE(doc.array().at(3).toObject().value(QStringLiteral("value")).toString(),
                 scans[3].value);
    }

    void emptyListIsAnEmptyArray() {
        QueueFile file(path());
        QVERIFY(file.save({}));
        QCOMPARE(read(), QByteArray("[]"));
        QVERIFY(file.load().isEmpty());
    }

    void readerIsLenientAboutLayoutAndExtraMembers() {
        write(" [ {\"ts\" : 2, \"value\":\"b\", \"extra\": [1,2]} ,\n{\"value\":\"c\",\"ts\":3e0} "
              "] ");
        QueueFile file(path());
        QCOMPARE(file.load(),
                 (QList<QueuedScan>{{QStringLiteral("b"), 2}, {QStringLiteral("c"), 3}}));
        QVERIFY(asideFiles().isEmpty());
    }

    void fileIsPrivateToItsOwner() {
        QueueFile file(path());
        QVERIFY(file.save({{QStringLiteral("secret"), 1}}));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
        // A file left with wider permissions is narrowed by the next save.
        QVERIFY(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ReadOther));
        QVERIFY(file.save({{QStringLiteral("secret"), 2}}));
        QCOMPARE(::stat(QFile::encodeName(path()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }

    void rejectedFilesAreKeptAside_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not json") << QByteArray("[{\"value\":\"a\",\"ts\":1}");
        QTest::newRow("object at top") << QByteArray("{\"value\":\"a\",\"ts\":1}");
        QTest::newRow("element not object") << QByteArray("[{\"value\":\"a\",\"ts\":1}, 5]");
        QTest::newRow("ts as string") << QByteArray("[{\"value\":\"a\",\"ts\":\"1\"}]");
        QTest::newRow("value missing") << QByteArray("[{\"value\":\"a\",\"ts\":1},{\"ts\":2}]");
        QTest::newRow("value a number") << QByteArray("[{\"value\":7,\"ts\":1}]");
        QTest::newRow("ts a fraction") << QByteArray("[{\"value\":\"a\",\"ts\":1.5}]");
        QTest::newRow("ts too large") << QByteArray("[{\"value\":\"a\",\"ts\":1e19}]");
        QTest::newRow("ts null") << QByteArray("[{\"value\":\"a\",\"ts\":null}]");
        QTest::newRow("empty file") << QByteArray();
    }

    void rejectedFilesAreKeptAside() {
        QFETCH(QByteArray, bytes);
        write(bytes);
        QueueFile file(path());
        QVERIFY(file.load().isEmpty());
        const QStringList aside = asideFiles();
        QCOMPARE(aside.size(), 1);
        QCOMPARE(dir.filePath(aside.first()), file.setAside());
        // The next save writes the new queue and leaves the old bytes alone.
        QVERIFY(file.save({{QStringLiteral("new"), 9}}));
        QCOMPARE(read(), QByteArray("[{\"value\":\"new\",\"ts\":9}]"));
        QFile kept(file.setAside());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), bytes);
    }

    void unreadableFileIsKeptAside() {
        write("[{\"value\":\"old\",\"ts\":1}]");
        QVERIFY(QFile::setPermissions(path(), QFileDevice::Permissions()));
        QFile probe(path());
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("this process can read a file without read permission");
        QueueFile file(path());
        QVERIFY(file.load().isEmpty());
        QCOMPARE(asideFiles().size(), 1);
        const QString aside = file.setAside();
        QVERIFY(file.save({{QStringLiteral("new"), 2}}));
        QCOMPARE(file.load(), (QList<QueuedScan>{{QStringLiteral("new"), 2}}));
        QVERIFY(QFile::setPermissions(aside, QFileDevice::ReadOwner));
        QFile kept(aside);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("[{\"value\":\"old\",\"ts\":1}]"));
    }

    // A disk that fills up during a save: the write fails, and the file that was
    // there stays exactly as it was (a kill -9 right after must find every scan).
    void aFullDiskLeavesThePreviousFileExactly() {
        KORVEL_REQUIRE_MOUNTS();
        const QString disk = dir.filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(disk));
        const QString why = mountTmpfs(disk, 64 * 1024);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        const auto cleanup = qScopeGuard([&] { unmount(disk); });
        QueueFile file(disk + QStringLiteral("/queue.json"));
        const QList<QueuedScan> safe{{QStringLiteral("4006381333931"), 1},
                                     {QStringLiteral("5901234123457"), 2}};
        QVERIFY(file.save(safe));
        QFile onDisk(file.path());
        QVERIFY(onDisk.open(QIODevice::ReadOnly));
        const QByteArray before = onDisk.readAll();
        onDisk.close();
        const QString filler = fillDisk(disk);
        for (const int count : {3, 5000}) { // smaller than any buffer, and larger
            QList<QueuedScan> more = safe;
            for (int i = 0; i < count; ++i)
                more.append({QStringLiteral("0000000000000"), 3 + i});
            QVERIFY(!file.save(more));
            QVERIFY(onDisk.open(QIODevice::ReadOnly));
            QCOMPARE(onDisk.readAll(), before);
            onDisk.close();
            QCOMPARE(QDir(disk).entryList(QDir::Files | QDir::Hidden),
                     (QStringList{QStringLiteral("filler"), QStringLiteral("queue.json")}));
        }
        QFile::remove(filler); // room again: the next save succeeds
        QVERIFY(file.save(safe + QList<QueuedScan>{{QStringLiteral("3"), 3}}));
        QCOMPARE(file.load().size(), 3);
    }

    void failedSaveKeepsThePreviousFile() {
        QueueFile file(path());
        QVERIFY(file.save({{QStringLiteral("kept"), 1}}));
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const bool saved = file.save({{QStringLiteral("lost"), 2}});
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner));
        if (saved)
            QSKIP("this process can write into a read-only folder");
        QCOMPARE(file.load(), (QList<QueuedScan>{{QStringLiteral("kept"), 1}}));
    }
};

KORVEL_TEST_MAIN(TestQueueFile)
#include "tst_queue_file.moc"
