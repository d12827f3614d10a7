// The verification-code dialog and the large picture view. The host is told
// when each appears and goes (it hides or shows its own windows on that), so
// those notices are checked at a real host process; a dialog that ends or
// loses the operator's code when the module window is hidden and shown again
// would make the operator type it twice or decrypt nothing.
#include "HostProcess.h"

#include "alarms/BigPicWgt.h"
#include "alarms/CPasswdInputWnd.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

class TestBigPicDialogs : public QObject
{
    Q_OBJECT
private:
    // Runs the dialog with exec() and does fnAct inside its loop; a dialog that
    // does not end within 10 s is ended with an odd code so the test fails.
    static int execWith(CPasswdInputWnd* pDlg, std::function<void()> fnAct)
    {
        QPointer<CPasswdInputWnd> guard(pDlg);
        QTimer::singleShot(0, pDlg, std::move(fnAct));
        QTimer::singleShot(10000, pDlg, [guard] {
            if (guard) {
                guard->done(99);
            }
        });
        return pDlg->exec();
    }

    template <typename T>
    static T* child(QWidget* pParent, const char* szName)
    {
        T* pChild = pParent->findChild<T*>(szName);
        if (!pChild) {
            qFatal("no child %s", szName);
        }
        return pChild;
    }

    static QStringList showWndLines(const HostProcess& host)
    {
        QStringList result;
        for (const QString& line : host.lines()) {
            if (line.startsWith("MSG 2052 ")) {
                result << line.trimmed();
            }
        }
        return result;
    }

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(skin);
        SetModuleProcessEnd([] {});
    }

    // ------------------------------------------------------------ code dialog

    void okFollowsTheTextAndEditsClearTheError()
    {
        CPasswdInputWnd dlg(nullptr, nullptr);
        auto* pOk = child<QPushButton>(&dlg, "OkBtn");
        auto* pEdit = child<QLineEdit>(&dlg, "lineEdit");
        auto* pErr = child<QLabel>(&dlg, "errMsg");
        QVERIFY(!pOk->isEnabled());
        QVERIFY(pErr->isHidden());
        QCOMPARE(pEdit->placeholderText(), QStringLiteral("请输入验证码"));

        dlg.SetErrLabVisible(true);
        QVERIFY(!pErr->isHidden());
        QCOMPARE(pErr->text(), QStringLiteral("验证码错误"));
        QTest::keyClicks(pEdit, "A");
        QVERIFY(pOk->isEnabled());
        QVERIFY(pErr->isHidden());

        QTest::keyClick(pEdit, Qt::Key_Backspace);
        QVERIFY(!pOk->isEnabled());

        QTest::keyClicks(pEdit, "ABCDEFGHIJKLMNOPQRST");
        QCOMPARE(dlg.InputText(), QStringLiteral("ABCDEFGHIJKLMNOP"));
    }

    void returnAcceptsWithTheTextButNotWhenEmpty()
    {
        CPasswdInputWnd dlg(nullptr, nullptr);
        auto* pEdit = child<QLineEdit>(&dlg, "lineEdit");
        bool bStillOpen = false;
        const int nResult = execWith(&dlg, [&] {
            QTest::keyClick(pEdit, Qt::Key_Return);
            bStillOpen = dlg.isVisible();
            QTest::keyClicks(pEdit, "Ab3xZ");
            QTest::keyClick(pEdit, Qt::Key_Enter);
        });
        QVERIFY(bStillOpen);
        QCOMPARE(nResult, int(QDialog::Accepted));
        QCOMPARE(dlg.InputText(), QStringLiteral("Ab3xZ"));
    }

    void dismissalsReject_data()
    {
        QTest::addColumn<QString>("strHow");
        QTest::newRow("cancel") << "CancelBtn";
        QTest::newRow("close") << "closebtn";
        QTest::newRow("escape") << "";
    }

    void dismissalsReject()
    {
        QFETCH(QString, strHow);
        HostProcess host;
        QVERIFY(host.start(false));
        CPasswdInputWnd dlg(nullptr, nullptr);
        dlg.SetOwnerWnd(host.handle());
        const int nResult = execWith(&dlg, [&] {
            QTest::keyClicks(child<QLineEdit>(&dlg, "lineEdit"), "code");
            if (strHow.isEmpty()) {
                QTest::keyClick(child<QLineEdit>(&dlg, "lineEdit"), Qt::Key_Escape);
            } else {
                QTest::mouseClick(child<QPushButton>(&dlg, qPrintable(strHow)), Qt::LeftButton);
            }
        });
        QCOMPARE(nResult, int(QDialog::Rejected));
        QVERIFY(host.waitForLine("MSG 2052 w=1 l=1") >= 0);
        QCOMPARE(showWndLines(host), QStringList({"MSG 2052 w=1 l=0 sent", "MSG 2052 w=1 l=1 sent"}));
    }

    void hostToldOnShowAndOkOnce()
    {
        HostProcess host;
        QVERIFY(host.start(false));
        auto pDlg = std::make_unique<CPasswdInputWnd>(nullptr, nullptr);
        pDlg->SetOwnerWnd(host.handle());
        QStringList linesWhileOpen;
        const int nResult = execWith(pDlg.get(), [&] {
            host.waitForLine("MSG 2052", 5000);
            linesWhileOpen = showWndLines(host);
            QTest::keyClicks(child<QLineEdit>(pDlg.get(), "lineEdit"), "K3y");
            QTest::mouseClick(child<QPushButton>(pDlg.get(), "OkBtn"), Qt::LeftButton);
        });
        QCOMPARE(nResult, int(QDialog::Accepted));
        QCOMPARE(linesWhileOpen, QStringList({"MSG 2052 w=1 l=0 sent"}));
        // Deleting the ended dialog must not announce a second close; the large
        // view's close notice marks the end of what the dialog could have sent.
        pDlg.reset();
        BigPicWgt marker(nullptr);
        marker.SetOwnerWnd(host.handle());
        marker.slot_clkClsBtn();
        QVERIFY(host.waitForLine("MSG 2052 w=10 l=1") >= 0);
        QCOMPARE(showWndLines(host),
                 QStringList({"MSG 2052 w=1 l=0 sent", "MSG 2052 w=1 l=1 sent", "MSG 2052 w=10 l=1 sent"}));
    }

    void deletedWhileShownTellsTheHostItWent()
    {
        HostProcess host;
        QVERIFY(host.start(false));
        auto* pDlg = new CPasswdInputWnd(nullptr, nullptr);
        pDlg->SetOwnerWnd(host.handle());
        pDlg->show();
        delete pDlg;
        QVERIFY(host.waitForLine("MSG 2052 w=1 l=1") >= 0);
        QCOMPARE(showWndLines(host), QStringList({"MSG 2052 w=1 l=0 sent", "MSG 2052 w=1 l=1 sent"}));
    }

    void followsTheModuleWindowWithoutLosingTheAnswer()
    {
        MessageClient w{QString()};
        w.resize(900, 600);
        w.show();
        CPasswdInputWnd dlg(&w, &w);
        bool bHiddenWithModule = false;
        bool bShownWithModule = false;
        // Hide and show in separate turns of the event loop, as the host does.
        const int nResult = execWith(&dlg, [&] {
            QTest::keyClicks(child<QLineEdit>(&dlg, "lineEdit"), "typed");
            w.SetModuleMiniFunc(true);
            bHiddenWithModule = !dlg.isVisible();
            QTimer::singleShot(0, &dlg, [&] {
                w.SetModuleMiniFunc(false);
                bShownWithModule = dlg.isVisible();
                QTimer::singleShot(
                    0, &dlg, [&] { QTest::mouseClick(child<QPushButton>(&dlg, "OkBtn"), Qt::LeftButton); });
            });
        });
        QVERIFY(bHiddenWithModule);
        QVERIFY(bShownWithModule);
        QCOMPARE(nResult, int(QDialog::Accepted));
        QCOMPARE(dlg.InputText(), QStringLiteral("typed"));
    }

    void showWithoutPriorHideDoesNotOpenAFinishedDialog()
    {
        MessageClient w{QString()};
        CPasswdInputWnd dlg(&w, &w);
        w.SetModuleMiniFunc(false);
        QVERIFY(!dlg.isVisible());
    }

    void recentredOverItsParentWhenTheModuleMoves()
    {
        MessageClient w{QString()};
        w.setGeometry(50, 60, 900, 600);
        w.show();
        CPasswdInputWnd dlg(&w, &w);
        dlg.show();
        dlg.move(0, 0);
        w.move(300, 200);
        w.WndMoveFunc();
        const QPoint ptParentCentre = w.mapToGlobal(w.rect().center());
        const QPoint ptDlgCentre = dlg.mapToGlobal(dlg.rect().center());
        QVERIFY2((ptParentCentre - ptDlgCentre).manhattanLength() <= 2,
                 qPrintable(QString("%1,%2 vs %3,%4")
                                .arg(ptParentCentre.x())
                                .arg(ptParentCentre.y())
                                .arg(ptDlgCentre.x())
                                .arg(ptDlgCentre.y())));
        dlg.move(0, 0);
        w.resize(1000, 700);
        QCoreApplication::processEvents();
        QVERIFY((w.mapToGlobal(w.rect().center()) - dlg.mapToGlobal(dlg.rect().center())).manhattanLength() <=
                2);
    }

    void wrongCodeTipGoesAwayByItself()
    {
        CPasswdInputWnd dlg(nullptr, nullptr);
        dlg.show();
        auto* pTip = child<QLabel>(&dlg, "errTipLbl");
        QVERIFY(pTip->isHidden());
        dlg.ShowErrTip();
        QVERIFY(pTip->isVisible());
        QCOMPARE(pTip->text(), QStringLiteral("密码有误"));
        QCOMPARE(pTip->geometry(), QRect(100, 100, 100, 30));
        QTRY_VERIFY_WITH_TIMEOUT(pTip->isHidden(), 10000);
    }

    // ------------------------------------------------------------ large view

    void closeButtonTellsTheHostAndHides()
    {
        HostProcess host;
        QVERIFY(host.start(false));
        BigPicWgt big(nullptr);
        big.SetOwnerWnd(host.handle());
        big.show();
        QTest::mouseClick(child<QPushButton>(&big, "clsBtn"), Qt::LeftButton);
        QVERIFY(!big.isVisible());
        QVERIFY(host.waitForLine("MSG 2052 w=10 l=1") >= 0);
        QCOMPARE(showWndLines(host), QStringList({"MSG 2052 w=10 l=1 sent"}));
    }

    void escapeDoesNotClose()
    {
        HostProcess host;
        QVERIFY(host.start(false));
        BigPicWgt big(nullptr);
        big.SetOwnerWnd(host.handle());
        big.show();
        QTest::keyClick(&big, Qt::Key_Escape);
        QTest::keyClick(&big, Qt::Key_Return);
        QVERIFY(big.isVisible());
        // A closing event of the window system goes the close button's way.
        big.close();
        QVERIFY(!big.isVisible());
        QVERIFY(host.waitForLine("MSG 2052 w=10 l=1") >= 0);
        QCOMPARE(showWndLines(host), QStringList({"MSG 2052 w=10 l=1 sent"}));
    }

    void pictureFittedKeepingItsAspect()
    {
        BigPicWgt big(nullptr);
        big.resize(1000, 700);
        big.show();
        QPixmap pix(400, 100);
        pix.fill(Qt::red);
        big.SetPicture(pix);
        auto* pStack = child<QStackedWidget>(&big, "stackedWidget");
        auto* pLbl = child<QLabel>(&big, "picLbl");
        QCOMPARE(pStack->currentWidget()->objectName(), QStringLiteral("picWgtPage"));

        auto checkFit = [pLbl] {
            const QSize sizeShown = pLbl->pixmap(Qt::ReturnByValue).size();
            const QSize sizeArea = pLbl->size();
            QVERIFY2(sizeShown.width() == sizeArea.width() || sizeShown.height() == sizeArea.height(),
                     "picture does not fill the area in either direction");
            QVERIFY(sizeShown.width() <= sizeArea.width() && sizeShown.height() <= sizeArea.height());
            QVERIFY(qAbs(sizeShown.width() - 4 * sizeShown.height()) <= 4);
        };
        checkFit();
        const int nWidthBefore = pLbl->pixmap(Qt::ReturnByValue).width();
        big.resize(1400, 900);
        QCoreApplication::processEvents();
        checkFit();
        QVERIFY(pLbl->pixmap(Qt::ReturnByValue).width() > nWidthBefore);
    }

    void errorStyleShowsTheErrorPage()
    {
        BigPicWgt big(nullptr);
        QPixmap pix(40, 30);
        pix.fill(Qt::blue);
        big.SetPicture(pix);
        const QString strStyle = QStringLiteral("border-image:url(:/Skin/main/image_encrypted_314x176.png);");
        big.SetErrorStyle(strStyle);
        QCOMPARE(child<QStackedWidget>(&big, "stackedWidget")->currentWidget()->objectName(),
                 QStringLiteral("errNotePage"));
        QCOMPARE(child<QLabel>(&big, "errNoteLbl")->styleSheet(), strStyle);
        big.SetPicture(pix);
        QCOMPARE(child<QStackedWidget>(&big, "stackedWidget")->currentWidget()->objectName(),
                 QStringLiteral("picWgtPage"));
    }

    void nullPictureShowsTheFailedPlaceholder()
    {
        BigPicWgt big(nullptr);
        big.SetPicture(QPixmap());
        QCOMPARE(child<QStackedWidget>(&big, "stackedWidget")->currentWidget()->objectName(),
                 QStringLiteral("errNotePage"));
        QVERIFY(child<QLabel>(&big, "errNoteLbl")->styleSheet().contains("image_loading_failed_314x176.png"));
    }

    void losingActivationIsSignalled()
    {
        BigPicWgt big(nullptr);
        QWidget other;
        QSignalSpy spy(&big, &BigPicWgt::sigFocOut);
        big.show();
        big.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&big));
        QCOMPARE(spy.count(), 0);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(spy.count() >= 1);
    }
};

QTEST_MAIN(TestBigPicDialogs)
#include "tst_bigpicdialogs.moc"
