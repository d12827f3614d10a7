// The message box is run modally by its callers, who act on accepted or
// rejected; a wrong result deletes messages the operator declined, and a box
// that survives hiding the module blocks a window nobody can see.
#include "shell/MessageClient.h"
#include "widgets/CMsgBox.h"

#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class TestMsgBox : public QObject
{
    Q_OBJECT
private slots:
    void endsWithTheRightResult_data()
    {
        QTest::addColumn<int>("nMode");
        QTest::addColumn<QString>("strAction"); // a button's name, or what the module does
        QTest::addColumn<int>("nResult");
        QTest::newRow("ok") << 0 << "okbtn" << int(QDialog::Accepted);
        QTest::newRow("cancel") << 0 << "cancelbtn" << int(QDialog::Rejected);
        QTest::newRow("close") << 1 << "closebtn" << int(QDialog::Rejected);
        QTest::newRow("module hidden") << 0 << "hide" << int(QDialog::Rejected);
        QTest::newRow("module minimised") << 0 << "minimise" << int(QDialog::Rejected);
    }

    void endsWithTheRightResult()
    {
        QFETCH(int, nMode);
        QFETCH(QString, strAction);
        QFETCH(int, nResult);
        MessageClient w{QString()};
        QPointer<CMsgBox> pBox = new CMsgBox(&w, nMode, 0, QStringLiteral("确定删除该消息吗？"));
        QTimer::singleShot(0, pBox, [&] {
            if (strAction == QLatin1String("hide"))
                w.ChangeHideModule(0);
            else if (strAction == QLatin1String("minimise"))
                w.SetModuleMiniFunc(true);
            else
                QTest::mouseClick(pBox->findChild<QPushButton*>(strAction), Qt::LeftButton);
        });
        QTimer::singleShot(10000, pBox, [pBox] { pBox->done(99); }); // an odd code: it hung
        QCOMPARE(pBox->exec(), nResult);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(pBox.isNull()); // deleted on close
    }
};

QTEST_MAIN(TestMsgBox)
#include "tst_msgbox.moc"
