// The local-address rules: which address the hint picks, how adapter
// addresses are written, and the caller's buffer is never overrun.
#include "native/LocalAddress.h"

#include <QtTest>

#include <cstring>

class TestNativeMisc : public QObject
{
    Q_OBJECT
private slots:
    void localIpFollowsTheHintsFirstComponent_data()
    {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QStringList& addresses, const char* hint,
                            const char* ip) {
            QTest::newRow(name) << addresses << QString::fromLatin1(hint) << QString::fromLatin1(ip);
        };
        const QStringList two{"10.1.2.3", "192.168.5.6"};
        row("hint 10", two, "10.0.0.9", "10.1.2.3");
        row("empty hint takes the last", two, "", "192.168.5.6");
        row("no match takes the last", two, "172.16.0.1", "192.168.5.6");
        row("hint without dot", two, "10", "10.1.2.3");
        row("whole first component", {"1.2.3.4", "10.2.3.4", "100.1.1.1"}, "10.9", "10.2.3.4");
        row("first match wins", {"10.0.0.1", "10.0.0.2"}, "10.5", "10.0.0.1");
        row("no addresses", {}, "10.0.0.1", "");
    }

    void localIpFollowsTheHintsFirstComponent()
    {
        QFETCH(QStringList, addresses);
        QFETCH(QString, hint);
        QFETCH(QString, expected);
        std::vector<std::string> list;
        for (const QString& address : addresses)
            list.push_back(address.toStdString());
        QCOMPARE(QString::fromStdString(native::ChooseLocalIp(list, hint.toStdString())), expected);
    }

    void localIpOfThisHostFitsTheBuffer()
    {
        char out[20];
        std::memset(out, 'Z', sizeof(out));
        if (native::GetParityInform_IP(out, nullptr))
            QVERIFY(strnlen(out, sizeof(out)) <= 15);
        QCOMPARE(out[19], 'Z'); // nothing written past the text and its zero
        QVERIFY(!native::GetParityInform_IP(nullptr, "10"));
    }

    void macListStopsAtTheFirstAdapterWithoutAddress()
    {
        const QByteArray eth("\x00\x1a\x2b\x3c\x4d\x5e", 6), wifi("\xa0\xb1\xc2\xd3\xe4\xf5", 6);
        QCOMPARE(native::FormatAdapterMacs({QByteArray(), eth}), QStringList());
        QCOMPARE(native::FormatAdapterMacs({eth, QByteArray(), wifi}), QStringList({"00:1a:2b:3c:4d:5e"}));
        // Short and long addresses are padded or cut to six bytes.
        QCOMPARE(native::FormatAdapterMacs(
                     {QByteArray("\x01\x02", 2), QByteArray("\x11\x22\x33\x44\x55\x66\x77", 7)}),
                 QStringList({"01:02:00:00:00:00", "11:22:33:44:55:66"}));
    }
};

QTEST_GUILESS_MAIN(TestNativeMisc)
#include "tst_nativemisc.moc"
