// The message box is run modally by its callers, who act on accepted or
// rejected; a wrong result deletes messages the operator declined, and a box
// that survives hiding the module blocks a window nobody can see.
#include "logkit/LogKit.h"
#include "shell/MessageClient.h"
#include "widgets/CMsgBox.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

class TestMsgBox : public QObject
{
    Q_OBJECT
private:
    // Runs the box with exec() and does fnAct inside its loop; a box that does
    // not end within 10 s is ended with an odd code so the test fails, not hangs.
    static int execWith(CMsgBox* pBox, std::function<void()> fnAct)
    {
        QPointer<CMsgBox> guard(pBox);
        QTimer::singleShot(0, pBox, std::move(fnAct));
        QTimer::singleShot(10000, pBox, [guard] {
            if (guard) {
                guard->done(99);
            }
        });
        const int nResult = pBox->exec();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return nResult;
    }

    static QPushButton* button(CMsgBox* pBox, const char* szName)
    {
        return pBox->findChild<QPushButton*>(szName);
    }

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(skin);
        logkit::startCapture();
    }

    void singleButtonModeCentresOkAndCloseRejects()
    {
        auto* pBox = new CMsgBox(nullptr, 1, 2, QStringLiteral("操作无权限"));
        QCOMPARE(button(pBox, "okbtn")->x(), 100);
        QVERIFY(button(pBox, "cancelbtn")->isHidden());
        QCOMPARE(pBox->findChild<QLabel*>("msgtext")->text(), QStringLiteral("操作无权限"));
        QCOMPARE(pBox->findChild<QLabel*>("piclabel")->styleSheet(),
                 QStringLiteral("border-image: url(:/Skin/msgbox/icon_error.png);"));
        QPointer<CMsgBox> guard(pBox);
        const int nResult =
            execWith(pBox, [pBox] { QTest::mouseClick(button(pBox, "closebtn"), Qt::LeftButton); });
        QCOMPARE(nResult, int(QDialog::Rejected));
        QVERIFY(guard.isNull()); // deleted on close
    }

    void twoButtonModeResults()
    {
        auto* pBox = new CMsgBox(nullptr, 0, 0, QStringLiteral("确定删除该消息吗？"));
        QCOMPARE(button(pBox, "okbtn")->x(), 20);
        QVERIFY(!button(pBox, "cancelbtn")->isHidden());
        QCOMPARE(execWith(pBox, [pBox] { QTest::mouseClick(button(pBox, "okbtn"), Qt::LeftButton); }),
                 int(QDialog::Accepted));
        pBox = new CMsgBox(nullptr, 2, 1, QStringLiteral("请选中要删除的消息"));
        QCOMPARE(execWith(pBox, [pBox] { QTest::mouseClick(button(pBox, "cancelbtn"), Qt::LeftButton); }),
                 int(QDialog::Rejected));
    }

    void iconsByKind()
    {
        const QString strHint = QStringLiteral("border-image: url(:/Skin/msgbox/icon_hint.png);");
        QCOMPARE(CMsgBox::IconStyleForKind(0), strHint);
        QCOMPARE(CMsgBox::IconStyleForKind(1), strHint);
        QVERIFY(CMsgBox::IconStyleForKind(3).isEmpty());
        CMsgBox box(nullptr, 1, 9, QString());
        box.setAttribute(Qt::WA_DeleteOnClose, false);
        QCOMPARE(box.findChild<QLabel*>("piclabel")->styleSheet(), strHint); // form default
    }

    void hidingTheModuleRejects_data()
    {
        QTest::addColumn<bool>("bMinimise");
        QTest::newRow("hide") << false;
        QTest::newRow("minimise") << true;
    }

    void hidingTheModuleRejects()
    {
        QFETCH(bool, bMinimise);
        MessageClient w{QString()};
        auto* pBox = new CMsgBox(&w, 0, 0, QStringLiteral("确定删除该消息吗？"));
        const int nResult = execWith(pBox, [&w, bMinimise] {
            if (bMinimise) {
                w.SetModuleMiniFunc(true);
            } else {
                w.ChangeHideModule(0);
            }
        });
        QCOMPARE(nResult, int(QDialog::Rejected));
    }

    void otherParentIsNotLinked()
    {
        QWidget plain;
        logkit::clearCapture();
        auto* pBox = new CMsgBox(&plain, 1, 0, QStringLiteral("x"));
        QVERIFY(logkit::captured("parent is not the module window"));
        QCOMPARE(execWith(pBox, [pBox] { QTest::mouseClick(button(pBox, "okbtn"), Qt::LeftButton); }),
                 int(QDialog::Accepted));
    }

    void dragKeepsThePressPointUnderTheCursor()
    {
        CMsgBox box(nullptr, 1, 0, QStringLiteral("x"));
        box.setAttribute(Qt::WA_DeleteOnClose, false);
        box.move(100, 100);
        auto send = [&box](QEvent::Type type, QPoint ptLocal, QPoint ptGlobal) {
            QMouseEvent ev(type, ptLocal, ptGlobal, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&box, &ev);
        };
        send(QEvent::MouseButtonPress, {30, 40}, {130, 140});
        send(QEvent::MouseMove, {0, 0}, {400, 300});
        QCOMPARE(box.pos(), QPoint(370, 260));
        send(QEvent::MouseButtonRelease, {0, 0}, {400, 300});
        send(QEvent::MouseMove, {0, 0}, {10, 10});
        QCOMPARE(box.pos(), QPoint(370, 260));
    }
};

QTEST_MAIN(TestMsgBox)
#include "tst_msgbox.moc"
