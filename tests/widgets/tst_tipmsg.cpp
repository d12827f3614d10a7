// Tips are fire-and-forget: they must show the right text and button, go away
// by themselves, and their button must open the folder the configuration names.
#include "logkit/LogKit.h"
#include "shell/LaunchValues.h"
#include "shell/MessageClient.h"
#include "widgets/CTipMsg.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class TestTipMsg : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    void useConfig(const QByteArray& content)
    {
        const QString strPath = m_dir.filePath("global_cfg.cfg");
        QFile file(strPath);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        LaunchValues::update(
            [&](LaunchValues& values) { values.CfgPath = strPath.toLocal8Bit().toStdString(); });
    }

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(skin);
        logkit::startCapture();
    }

    void cleanup() { CTipMsg::SetFolderOpener({}); }

    void textsIconsAndOpenButton_data()
    {
        QTest::addColumn<int>("nKind");
        QTest::addColumn<QString>("strText");
        QTest::addColumn<QString>("strShown");
        QTest::addColumn<QString>("strIcon");
        QTest::addColumn<bool>("bOpenBtn");
        const QString strOk = "border-image: url(:/Skin/main/icon_correct.png);";
        const QString strErr = "border-image: url(:/Skin/main/icon_error.png);";
        QTest::newRow("empty") << 1 << QString() << "操作无权限" << strErr << false;
        QTest::newRow("network") << 1 << "网络异常"
                                 << "网络异常" << strErr << false;
        QTest::newRow("snapshot") << 0 << "抓图成功"
                                  << "抓图成功" << strOk << true;
        QTest::newRow("recording") << 0 << "录像保存成功"
                                   << "录像保存成功" << strOk << true;
        QTest::newRow("other kind") << 5 << "x"
                                    << "x" << strOk << false;
    }

    void textsIconsAndOpenButton()
    {
        QFETCH(int, nKind);
        QFETCH(QString, strText);
        QFETCH(QString, strShown);
        QFETCH(QString, strIcon);
        QFETCH(bool, bOpenBtn);
        QWidget parent;
        auto* pTip = new CTipMsg(&parent, nKind, strText);
        QCOMPARE(pTip->findChild<QLabel*>("msg")->text(), strShown);
        QCOMPARE(pTip->findChild<QLabel*>("label")->styleSheet(), strIcon);
        QCOMPARE(!pTip->findChild<QPushButton*>("openBtn")->isHidden(), bOpenBtn);
        QVERIFY(!pTip->isWindow()); // drawn inside its parent
    }

    void closesItselfAfterThreeSecondsEvenIfShownLate()
    {
        QWidget parent;
        QPointer<CTipMsg> pTip = new CTipMsg(&parent, 1, QStringLiteral("网络异常"));
        QTimer::singleShot(1500, pTip.data(), [pTip] { pTip->show(); });
        QVERIFY(!pTip.isNull());
        QTRY_VERIFY_WITH_TIMEOUT(pTip.isNull(), 15000);
    }

    void hidingTheModuleClosesIt()
    {
        MessageClient w{QString()};
        QPointer<CTipMsg> pTip = new CTipMsg(&w, 0, QStringLiteral("抓图成功"));
        pTip->show();
        w.ChangeHideModule(0);
        QTRY_VERIFY_WITH_TIMEOUT(pTip.isNull(), 2000);
    }

    void openerPicksTheConfiguredFolder()
    {
        useConfig(
            "<Configure><snap_folder>/data/快照</snap_folder><rec_folder>/data/rec</rec_folder></Configure>");
        QCOMPARE(CTipMsg::FolderForText("抓图成功"), QStringLiteral("/data/快照"));
        QCOMPARE(CTipMsg::FolderForText("录像保存成功"), QStringLiteral("/data/rec"));
        QVERIFY(CTipMsg::FolderForText("网络异常").isEmpty());
        QList<QUrl> opened;
        CTipMsg::SetFolderOpener([&opened](const QUrl& url) {
            opened << url;
            return true;
        });
        QWidget parent;
        auto* pTip = new CTipMsg(&parent, 0, QStringLiteral("录像保存成功"));
        pTip->findChild<QPushButton*>("openBtn")->click();
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile("/data/rec")});
    }

    void nothingConfiguredOpensNothing()
    {
        useConfig("<Configure><rec_folder>/data/rec</rec_folder></Configure>");
        int nOpened = 0;
        CTipMsg::SetFolderOpener([&nOpened](const QUrl&) { return ++nOpened > 0; });
        logkit::clearCapture();
        QWidget parent;
        auto* pTip = new CTipMsg(&parent, 0, QStringLiteral("抓图成功"));
        pTip->findChild<QPushButton*>("openBtn")->click();
        QCOMPARE(nOpened, 0);
        QVERIFY(logkit::captured("no folder configured", 5));
    }
};

QTEST_MAIN(TestTipMsg)
#include "tst_tipmsg.moc"
