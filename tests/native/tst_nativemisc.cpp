// Module directory, path tests and the local-address rules.
#include "native/LocalAddress.h"
#include "native/ModulePath.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

class TestNativeMisc : public QObject
{
    Q_OBJECT
private slots:
    void moduleDirIsTheBinarysDirectory();
    void pathExistsTellsFilesFromDirectories();
    void localIpFollowsTheHintsFirstComponent_data();
    void localIpFollowsTheHintsFirstComponent();
    void localIpOfThisHostFitsTheBuffer();
    void macListStopsAtTheFirstAdapterWithoutAddress();
    void localAddressKeepsMacWhenThereIsNone();
};

void TestNativeMisc::moduleDirIsTheBinarysDirectory()
{
    const std::string dir = native::GetModuleDir();
    QVERIFY(!dir.empty());
    QCOMPARE(dir.back(), '/');
    QVERIFY(native::PathExists(dir, false));
    QVERIFY(!native::PathExists(dir, true));
    QCOMPARE(QDir(QString::fromStdString(dir)).canonicalPath(),
             QDir(QCoreApplication::applicationDirPath()).canonicalPath());
}

void TestNativeMisc::pathExistsTellsFilesFromDirectories()
{
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString();
    QFile file(dir.filePath(QStringLiteral("global_cfg.cfg")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));

    QVERIFY(native::PathExists(base + "/global_cfg.cfg", true));
    QVERIFY(native::PathExists(base + "/global_cfg.cfg", false));
    QVERIFY(native::PathExists(base + "/sub", false));
    QVERIFY(!native::PathExists(base + "/sub", true)); // a directory is not a file
    QVERIFY(!native::PathExists(base + "/missing", false));
    QVERIFY(!native::PathExists(std::string(), false));
}

void TestNativeMisc::localIpFollowsTheHintsFirstComponent_data()
{
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QString>("expected");
    const QStringList two{"10.1.2.3", "192.168.5.6"};
    QTest::newRow("hint 192 takes the second") << two << "192.168.0.1"
                                               << "192.168.5.6";
    QTest::newRow("hint 10 takes the first") << two << "10.0.0.9"
                                             << "10.1.2.3";
    QTest::newRow("empty hint takes the last") << two << ""
                                               << "192.168.5.6";
    QTest::newRow("no match takes the last") << two << "172.16.0.1"
                                             << "192.168.5.6";
    QTest::newRow("hint without dot") << two << "10"
                                      << "10.1.2.3";
    QTest::newRow("first component must match whole")
        << QStringList{"1.2.3.4", "10.2.3.4", "100.1.1.1"} << "10.9"
        << "10.2.3.4";
    QTest::newRow("first match wins") << QStringList{"10.0.0.1", "10.0.0.2", "192.1.1.1"} << "10.5"
                                      << "10.0.0.1";
    QTest::newRow("no addresses") << QStringList{} << "10.0.0.1"
                                  << "";
}

void TestNativeMisc::localIpFollowsTheHintsFirstComponent()
{
    QFETCH(QStringList, addresses);
    QFETCH(QString, hint);
    QFETCH(QString, expected);
    std::vector<std::string> list;
    for (const QString& address : addresses) {
        list.push_back(address.toStdString());
    }
    QCOMPARE(QString::fromStdString(native::ChooseLocalIp(list, hint.toStdString())), expected);
}

void TestNativeMisc::localIpOfThisHostFitsTheBuffer()
{
    char out[20];
    std::memset(out, 'Z', sizeof(out));
    if (!native::GetParityInform_IP(out, nullptr)) {
        // The host name does not resolve here: the buffer is left alone.
        QCOMPARE(out[0], 'Z');
        return;
    }
    const size_t length = strnlen(out, sizeof(out));
    QVERIFY(length <= 15);
    QCOMPARE(out[19], 'Z'); // nothing written past the text and its zero
    if (length > 0) {
        QCOMPARE(QString::fromLatin1(out).count(QLatin1Char('.')), 3);
    }
    QVERIFY(!native::GetParityInform_IP(nullptr, "10"));
}

void TestNativeMisc::macListStopsAtTheFirstAdapterWithoutAddress()
{
    const QByteArray eth("\x00\x1a\x2b\x3c\x4d\x5e", 6);
    const QByteArray wifi("\xa0\xb1\xc2\xd3\xe4\xf5", 6);
    const QByteArray shortAddress("\x01\x02", 2);
    const QByteArray longAddress("\x11\x22\x33\x44\x55\x66\x77\x88", 8);

    QCOMPARE(native::FormatAdapterMacs({eth, wifi}), QStringList({"00:1a:2b:3c:4d:5e", "a0:b1:c2:d3:e4:f5"}));
    QCOMPARE(native::FormatAdapterMacs({QByteArray(), eth}), QStringList());
    QCOMPARE(native::FormatAdapterMacs({eth, QByteArray(), wifi}), QStringList({"00:1a:2b:3c:4d:5e"}));
    QCOMPARE(native::FormatAdapterMacs({shortAddress}), QStringList({"01:02:00:00:00:00"}));
    QCOMPARE(native::FormatAdapterMacs({longAddress}), QStringList({"11:22:33:44:55:66"}));
    QCOMPARE(native::FormatAdapterMacs({}), QStringList());

    // Whatever this machine has, every entry has the fixed shape.
    const QRegularExpression shape(QStringLiteral("^([0-9a-f]{2}:){5}[0-9a-f]{2}$"));
    for (const QString& mac : native::GetAdapterMacs()) {
        QVERIFY2(shape.match(mac).hasMatch(), qPrintable(mac));
    }
}

void TestNativeMisc::localAddressKeepsMacWhenThereIsNone()
{
    std::string ip;
    std::string mac = "unchanged";
    native::GetLocalAddress(ip, mac);
    const QStringList macs = native::GetAdapterMacs();
    QCOMPARE(QString::fromStdString(mac), macs.isEmpty() ? QStringLiteral("unchanged") : macs.first());
    QVERIFY(ip.size() <= 15);
}

QTEST_GUILESS_MAIN(TestNativeMisc)
#include "tst_nativemisc.moc"
