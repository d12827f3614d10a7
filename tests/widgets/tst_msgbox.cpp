// The message box is run modally by its callers, who act on accepted or
// rejected; a wrong result deletes messages the operator declined, and a box
// that survives hiding the module blocks a window nobody can see.
#include "shell/MessageClient.h"
#include "widgets/CMsgBox.h"

#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// Runs the box with exec() and fnAct inside its loop; ended after 10 s with an odd code.
int execWith(CMsgBox* pBox, std::function<void()> fnAct)
{
    QPointer<CMsgBox> guard(pBox);
    QTimer::singleShot(0, pBox, std::move(fnAct));
    QTimer::singleShot(10000, pBox, [guard] {
        if (guard)
            guard->done(99);
    });
    const int nResult = pBox->exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return nResult;
}

} // namespace

class TestMsgBox : public QObject
{
    Q_OBJECT
private slots:
    void buttonsGiveTheirResults_data()
    {
        QTest::addColumn<int>("nMode");
        QTest::addColumn<QString>("strButton");
        QTest::addColumn<int>("nResult");
        QTest::newRow("ok") << 0 << "okbtn" << int(QDialog::Accepted);
        QTest::newRow("cancel") << 0 << "cancelbtn" << int(QDialog::Rejected);
        QTest::newRow("close") << 1 << "closebtn" << int(QDialog::Rejected);
    }

    void buttonsGiveTheirResults()
    {
        QFETCH(int, nMode);
        QFETCH(QString, strButton);
        QFETCH(int, nResult);
        auto* pBox = new CMsgBox(nullptr, nMode, 0, QStringLiteral("确定删除该消息吗？"));
        QPointer<CMsgBox> guard(pBox);
        auto* pButton = pBox->findChild<QPushButton*>(strButton);
        QCOMPARE(execWith(pBox, [pButton] { QTest::mouseClick(pButton, Qt::LeftButton); }), nResult);
        QVERIFY(guard.isNull()); // deleted on close
    }

    void hidingTheModuleRejects()
    {
        for (bool bMinimise : {false, true}) {
            MessageClient w{QString()};
            auto* pBox = new CMsgBox(&w, 0, 0, QStringLiteral("确定删除该消息吗？"));
            const int nResult = execWith(pBox, [&w, bMinimise] {
                if (bMinimise)
                    w.SetModuleMiniFunc(true);
                else
                    w.ChangeHideModule(0);
            });
            QCOMPARE(nResult, int(QDialog::Rejected));
        }
    }
};

QTEST_MAIN(TestMsgBox)
#include "tst_msgbox.moc"
