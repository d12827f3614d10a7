// The snapshot cache on disk, without a server: entries kept across a
// restart, the size limit with the least recently used out (also with two
// users of the folder at once), damaged entries, and the freshness the
// platform's headers and addresses allow.
#include "alarms/CSnapCache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

namespace {

qint64 InAnHour()
{
    return QDateTime::currentMSecsSinceEpoch() + 3600 * 1000;
}

QByteArray Bytes(int nSize, char cFill)
{
    return QByteArray(nSize, cFill);
}

QString Key(int n)
{
    return QString("https://127.0.0.1:1/pictures/p%1.jpg?alarmId=%1").arg(n);
}

} // namespace

class TestSnapCache : public QObject
{
    Q_OBJECT
private slots:
    void entriesOutliveTheProcessThatWroteThem()
    {
        QTemporaryDir dir;
        {
            CSnapCache cache(dir.path(), 1 << 20);
            cache.Put(Key(1), Bytes(1000, 'a'), InAnHour());
            cache.Put(Key(2), Bytes(2000, 'b'), InAnHour());
        }
        // A new start: a cache object that knows nothing but the folder.
        CSnapCache cache(dir.path(), 1 << 20);
        QByteArray baBytes;
        QVERIFY(cache.Get(Key(1), &baBytes));
        QCOMPARE(baBytes, Bytes(1000, 'a'));
        QVERIFY(cache.Get(Key(2), &baBytes));
        QCOMPARE(baBytes, Bytes(2000, 'b'));
        QVERIFY(!cache.Get(Key(3), &baBytes));
        QCOMPARE(cache.EntryCount(), 2);
        // Snapshots are for the operator's eyes only.
        QCOMPARE(QFileInfo(cache.EntryPath(Key(1))).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                 QFile::Permissions());
        QCOMPARE(QFileInfo(dir.filePath("entries")).permissions() & (QFile::ExeOther | QFile::ExeGroup),
                 QFile::Permissions());

        // The index lost (a crash between writes): rebuilt from the entries.
        QVERIFY(QFile::remove(dir.filePath("index")));
        CSnapCache rebuilt(dir.path(), 1 << 20);
        rebuilt.Put(Key(3), Bytes(10, 'c'), InAnHour());
        QCOMPARE(rebuilt.EntryCount(), 3);
        QVERIFY(rebuilt.Get(Key(1), &baBytes));
    }

    void theLimitHoldsAndTheLeastRecentlyUsedGo()
    {
        QTemporaryDir dir;
        const qint64 nLimit = 64 * 1024;
        CSnapCache cache(dir.path(), nLimit);
        QByteArray baBytes;
        for (int i = 0; i < 4; ++i) {
            cache.Put(Key(i), Bytes(12 * 1024, char('a' + i)), InAnHour());
        }
        QVERIFY(cache.Get(Key(0), &baBytes)); // used again: now the most recent
        cache.Flush();
        // Room for five: the four newest and the one used again stay.
        for (int i = 4; i < 8; ++i) {
            cache.Put(Key(i), Bytes(12 * 1024, char('a' + i)), InAnHour());
        }
        QVERIFY(cache.TotalBytes() <= nLimit);
        QVERIFY(cache.Get(Key(7), &baBytes));
        QVERIFY(cache.Get(Key(0), &baBytes)); // used since: kept over older ones
        QVERIFY(!cache.Get(Key(1), &baBytes));
        QVERIFY(!cache.Get(Key(2), &baBytes));
        // Files on disk and the index agree: nothing unlisted takes room.
        qint64 nOnDisk = 0;
        for (const QFileInfo& info : QDir(dir.filePath("entries")).entryInfoList(QDir::Files)) {
            nOnDisk += info.size();
        }
        QCOMPARE(nOnDisk, cache.TotalBytes());

        // A picture larger than a quarter of the limit is not kept at all.
        cache.Put(Key(99), Bytes(int(nLimit / 2), 'z'), InAnHour());
        QVERIFY(!cache.Get(Key(99), &baBytes));
    }

    void twoUsersOfOneFolderKeepItsLimit()
    {
        // Two cache objects on one folder stand for two module processes:
        // their index updates exclude each other through the folder's lock.
        QTemporaryDir dir;
        const qint64 nLimit = 100 * 1024;
        CSnapCache first(dir.path(), nLimit);
        CSnapCache second(dir.path(), nLimit);
        auto fill = [](CSnapCache* pCache, int nBase) {
            for (int i = 0; i < 40; ++i) {
                pCache->Put(Key(nBase + i), Bytes(8 * 1024, 'x'), InAnHour());
            }
        };
        std::thread one(fill, &first, 0);
        std::thread two(fill, &second, 1000);
        one.join();
        two.join();
        QVERIFY2(first.TotalBytes() <= nLimit, qPrintable(QString::number(first.TotalBytes())));
        qint64 nOnDisk = 0;
        for (const QFileInfo& info : QDir(dir.filePath("entries")).entryInfoList(QDir::Files)) {
            nOnDisk += info.size();
        }
        QVERIFY2(nOnDisk <= nLimit, qPrintable(QString::number(nOnDisk)));
        QByteArray baBytes;
        QVERIFY(first.Get(Key(1039), &baBytes) || second.Get(Key(39), &baBytes));
    }

    void damagedEntriesAreMissesAndGo_data()
    {
        QTest::addColumn<int>("cut");  // bytes cut off the end
        QTest::addColumn<int>("flip"); // byte flipped from the end, or -1
        QTest::newRow("truncated") << 100 << -1;
        QTest::newRow("body changed") << 0 << 10;
        QTest::newRow("empty file") << -1 << -1;
    }
    void damagedEntriesAreMissesAndGo()
    {
        QFETCH(int, cut);
        QFETCH(int, flip);
        QTemporaryDir dir;
        CSnapCache cache(dir.path(), 1 << 20);
        cache.Put(Key(1), Bytes(5000, 'q'), InAnHour());
        const QString strPath = cache.EntryPath(Key(1));
        QFile file(strPath);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray baEntry = file.readAll();
        if (cut < 0) {
            baEntry.clear();
        } else {
            baEntry.chop(cut);
        }
        if (flip >= 0) {
            baEntry[baEntry.size() - flip] = char(baEntry[baEntry.size() - flip] ^ 0x55);
        }
        file.resize(0);
        file.write(baEntry);
        file.close();
        QByteArray baBytes;
        QVERIFY(!cache.Get(Key(1), &baBytes));
        QVERIFY(!QFile::exists(strPath));
        cache.Flush();
        QCOMPARE(cache.EntryCount(), 0);
    }

    void stalePicturesAreNotServed()
    {
        QTemporaryDir dir;
        CSnapCache cache(dir.path(), 1 << 20);
        QByteArray baBytes;
        cache.Put(Key(1), Bytes(100, 'a'), QDateTime::currentMSecsSinceEpoch() - 1);
        QVERIFY(!cache.Get(Key(1), &baBytes));
        cache.Put(Key(2), Bytes(100, 'b'), QDateTime::currentMSecsSinceEpoch() + 100);
        QVERIFY(cache.Get(Key(2), &baBytes));
        QTRY_VERIFY(!cache.Get(Key(2), &baBytes));
    }

    void freshnessFollowsThePlatform_data()
    {
        QTest::addColumn<QByteArray>("cacheControl");
        QTest::addColumn<QByteArray>("expires");
        QTest::addColumn<QString>("url");
        QTest::addColumn<qint64>("minSeconds"); // -1: not kept
        QTest::addColumn<qint64>("maxSeconds");
        const QString plain = "https://h/p.jpg?alarmId=1";
        const qint64 nDay = 24 * 3600;
        QTest::newRow("nothing said: a day") << QByteArray() << QByteArray() << plain << nDay - 5 << nDay;
        QTest::newRow("max-age") << QByteArray("private, max-age=600") << QByteArray() << plain << 595LL
                                 << 600LL;
        QTest::newRow("no-store") << QByteArray("no-store") << QByteArray() << plain << -1LL << -1LL;
        QTest::newRow("no-cache") << QByteArray("private, no-cache") << QByteArray() << plain << -1LL << -1LL;
        QTest::newRow("max-age=0") << QByteArray("max-age=0") << QByteArray() << plain << -1LL << -1LL;
        QTest::newRow("Expires in the past")
            << QByteArray() << QByteArray("Thu, 01 Jan 1970 00:00:00 GMT") << plain << -1LL << -1LL;
        QTest::newRow("Expires not a date") << QByteArray() << QByteArray("0") << plain << -1LL << -1LL;
        const QDateTime dtSoon = QDateTime::currentDateTimeUtc().addSecs(300);
        QTest::newRow("Expires soon")
            << QByteArray() << dtSoon.toString(Qt::RFC2822Date).toLatin1() << plain << 290LL << 301LL;
        const qint64 nSoon = QDateTime::currentSecsSinceEpoch() + 120;
        QTest::newRow("the address expires first")
            << QByteArray("max-age=86400") << QByteArray()
            << QString("https://h/p.jpg?alarmId=1&Expires=%1").arg(nSoon) << 110LL << 120LL;
    }
    void freshnessFollowsThePlatform()
    {
        QFETCH(QByteArray, cacheControl);
        QFETCH(QByteArray, expires);
        QFETCH(QString, url);
        QFETCH(qint64, minSeconds);
        QFETCH(qint64, maxSeconds);
        const qint64 nUntil =
            CSnapCache::KeepUntil(CSnapCache::MaxAgeOf(cacheControl, expires, QByteArray()), url);
        if (minSeconds < 0) {
            QCOMPARE(nUntil, qint64(0));
            return;
        }
        const qint64 nSeconds = (nUntil - QDateTime::currentMSecsSinceEpoch()) / 1000;
        QVERIFY2(nSeconds >= minSeconds && nSeconds <= maxSeconds, qPrintable(QString::number(nSeconds)));
    }
};

QTEST_GUILESS_MAIN(TestSnapCache)
#include "tst_snapcache.moc"
