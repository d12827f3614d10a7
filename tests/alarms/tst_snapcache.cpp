// The snapshot cache on disk: kept across a restart, the limit with the least recently used out (also
// with two users), damaged and stale entries, the freshness the platform's headers and addresses allow.
#include "alarms/CSnapCache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

class TestSnapCache : public QObject
{
    Q_OBJECT
    static qint64 InAnHour() { return QDateTime::currentMSecsSinceEpoch() + 3600 * 1000; }
    static QString Key(int n) { return QString("https://127.0.0.1:1/pictures/p%1.jpg?alarmId=%1").arg(n); }
    static qint64 BytesOnDisk(const QTemporaryDir& dir)
    {
        qint64 nOnDisk = 0;
        for (const QFileInfo& info : QDir(dir.filePath("entries")).entryInfoList(QDir::Files))
            nOnDisk += info.size();
        return nOnDisk;
    }

private slots:
    void entriesOutliveTheProcessThatWroteThem()
    {
        QTemporaryDir dir;
        CSnapCache(dir.path(), 1 << 20).Put(Key(1), QByteArray(1000, 'a'), InAnHour());
        // A new start: a cache object that knows nothing but the folder.
        CSnapCache cache(dir.path(), 1 << 20);
        QByteArray baBytes;
        QVERIFY(cache.Get(Key(1), &baBytes) && baBytes == QByteArray(1000, 'a'));
        // Snapshots are for the operator's eyes only.
        QCOMPARE(QFileInfo(cache.EntryPath(Key(1))).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                 QFile::Permissions());
        QCOMPARE(QFileInfo(dir.filePath("entries")).permissions() & (QFile::ExeOther | QFile::ExeGroup),
                 QFile::Permissions());
        // The index lost (a crash between writes): rebuilt from the entries.
        QVERIFY(QFile::remove(dir.filePath("index")));
        CSnapCache rebuilt(dir.path(), 1 << 20);
        rebuilt.Put(Key(3), QByteArray(10, 'c'), InAnHour());
        QVERIFY(rebuilt.EntryCount() == 2 && rebuilt.Get(Key(1), &baBytes));
    }

    void theLimitHoldsAndTheLeastRecentlyUsedGoAlsoWithTwoUsers()
    {
        QTemporaryDir dir;
        const qint64 nLimit = 64 * 1024;
        CSnapCache cache(dir.path(), nLimit);
        QByteArray baBytes;
        for (int i = 0; i < 8; ++i) {
            cache.Put(Key(i), QByteArray(12 * 1024, char('a' + i)), InAnHour());
            if (i == 3) {
                QVERIFY(cache.Get(Key(0), &baBytes)); // used again: now the most recent
                cache.Flush();
            }
        }
        // Room for five: the four newest and the one used again stay.
        QVERIFY(cache.Get(Key(7), &baBytes) && cache.Get(Key(0), &baBytes));
        QVERIFY(!cache.Get(Key(1), &baBytes) && !cache.Get(Key(2), &baBytes));
        QVERIFY(BytesOnDisk(dir) == cache.TotalBytes() && cache.TotalBytes() <= nLimit);
        // A picture larger than a quarter of the limit is not kept at all.
        cache.Put(Key(99), QByteArray(int(nLimit / 2), 'z'), InAnHour());
        QVERIFY(!cache.Get(Key(99), &baBytes));
        // Two cache objects on one folder stand for two module processes.
        QTemporaryDir shared;
        CSnapCache first(shared.path(), nLimit), second(shared.path(), nLimit);
        auto fill = [](CSnapCache* pCache, int nBase) {
            for (int i = 0; i < 40; ++i)
                pCache->Put(Key(nBase + i), QByteArray(8 * 1024, 'x'), InAnHour());
        };
        std::thread one(fill, &first, 0), two(fill, &second, 1000);
        one.join();
        two.join();
        QVERIFY2(BytesOnDisk(shared) <= nLimit, qPrintable(QString::number(BytesOnDisk(shared))));
    }

    void damagedOrStaleEntriesAreMisses_data()
    {
        QTest::addColumn<int>("cut");  // bytes cut off the end, -1: all
        QTest::addColumn<int>("flip"); // byte flipped from the end, or -1
        QTest::addColumn<qint64>("keepMs");
        QTest::newRow("truncated") << 100 << -1 << 3600000LL;
        QTest::newRow("body changed") << 0 << 10 << 3600000LL;
        QTest::newRow("empty file") << -1 << -1 << 3600000LL;
        QTest::newRow("stale") << 0 << -1 << 100LL;
    }
    void damagedOrStaleEntriesAreMisses()
    {
        QFETCH(int, cut);
        QFETCH(int, flip);
        QFETCH(qint64, keepMs);
        QTemporaryDir dir;
        CSnapCache cache(dir.path(), 1 << 20);
        cache.Put(Key(1), QByteArray(5000, 'q'), QDateTime::currentMSecsSinceEpoch() + keepMs);
        QFile file(cache.EntryPath(Key(1)));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray baEntry = file.readAll();
        baEntry.chop(cut < 0 ? baEntry.size() : cut);
        if (flip >= 0)
            baEntry[baEntry.size() - flip] = char(baEntry[baEntry.size() - flip] ^ 0x55);
        file.resize(0);
        file.write(baEntry);
        file.close();
        QByteArray baBytes;
        QTRY_VERIFY(!cache.Get(Key(1), &baBytes) && !file.exists());
        cache.Flush();
        QCOMPARE(cache.EntryCount(), 0);
    }

    void freshnessFollowsThePlatform_data()
    {
        QTest::addColumn<QByteArray>("cacheControl");
        QTest::addColumn<QByteArray>("expires");
        QTest::addColumn<QString>("url");
        QTest::addColumn<qint64>("seconds"); // kept for about, -1: not kept
        const QString plain = "https://h/p.jpg?alarmId=1";
        const QByteArray soon =
            QDateTime::currentDateTimeUtc().addSecs(300).toString(Qt::RFC2822Date).toLatin1();
        QTest::newRow("nothing said: a day") << QByteArray() << QByteArray() << plain << 86400LL;
        QTest::newRow("max-age") << QByteArray("private, max-age=600") << QByteArray() << plain << 600LL;
        QTest::newRow("no-store") << QByteArray("no-store") << QByteArray() << plain << -1LL;
        QTest::newRow("Expires not a date") << QByteArray() << QByteArray("0") << plain << -1LL;
        QTest::newRow("Expires soon") << QByteArray() << soon << plain << 300LL;
        QTest::newRow("the address expires first")
            << QByteArray("max-age=86400") << QByteArray()
            << QString("%1&Expires=%2").arg(plain).arg(QDateTime::currentSecsSinceEpoch() + 120) << 120LL;
    }
    void freshnessFollowsThePlatform()
    {
        QFETCH(QByteArray, cacheControl);
        QFETCH(QByteArray, expires);
        QFETCH(QString, url);
        QFETCH(qint64, seconds);
        const qint64 nUntil =
            CSnapCache::KeepUntil(CSnapCache::MaxAgeOf(cacheControl, expires, QByteArray()), url);
        const qint64 nSeconds = nUntil == 0 ? -1 : (nUntil - QDateTime::currentMSecsSinceEpoch()) / 1000;
        QVERIFY2(nSeconds <= seconds && nSeconds >= seconds - (seconds < 0 ? 0 : 10),
                 qPrintable(QString::number(nSeconds)));
    }
};

QTEST_GUILESS_MAIN(TestSnapCache)
#include "tst_snapcache.moc"
