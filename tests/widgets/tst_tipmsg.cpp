// Tips are fire-and-forget: they must show where asked, go away by themselves,
// and their button must open the folder the configuration names.
#include "base/LaunchValues.h"
#include "shell/MessageClient.h"
#include "widgets/CTipMsg.h"

#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class TestTipMsg : public QObject
{
    Q_OBJECT
private slots:
    void showsWhereAskedAndClosesByItselfOrWithTheModule()
    {
        MessageClient w{QString()};
        QPointer<CTipMsg> pTip = new CTipMsg(&w, 1, QStringLiteral("网络异常"));
        QTimer::singleShot(1500, pTip.data(), [pTip] { pTip->show(); });
        QTRY_VERIFY_WITH_TIMEOUT(pTip.isNull(), 15000); // three seconds after it was shown
        // A window of its own, so that the video's native window cannot cover it.
        pTip = new CTipMsg(&w, 0, QStringLiteral("抓图成功"));
        pTip->ShowOverParent(QPoint(300, 200));
        QVERIFY(pTip->isWindow());
        QCOMPARE(pTip->pos(), w.mapToGlobal(QPoint(300, 200)));
        w.ChangeHideModule(0);
        QTRY_VERIFY_WITH_TIMEOUT(pTip.isNull(), 2000);
    }

    void openerPicksTheConfiguredFolder()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath("global_cfg.cfg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<Configure><snap_folder>/data/快照</snap_folder><rec_folder>/r</rec_folder></Configure>");
        file.close();
        LaunchValues::update(
            [&](LaunchValues& v) { v.CfgPath = file.fileName().toLocal8Bit().toStdString(); });
        QList<QUrl> opened;
        CTipMsg::SetFolderOpener([&opened](const QUrl& url) { return opened << url, true; });
        QWidget parent;
        for (const char* text : {"抓图成功", "录像保存成功"})
            (new CTipMsg(&parent, 0, QString::fromUtf8(text)))->findChild<QPushButton*>("openBtn")->click();
        CTipMsg::SetFolderOpener({});
        QCOMPARE(opened, (QList<QUrl>{QUrl::fromLocalFile("/data/快照"), QUrl::fromLocalFile("/r")}));
    }
};

QTEST_MAIN(TestTipMsg)
#include "tst_tipmsg.moc"
