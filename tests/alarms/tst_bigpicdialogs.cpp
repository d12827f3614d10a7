// The verification-code dialog: its show/hide notices checked at a real host process (the host
// hides its own windows for it), and the typed code kept when the module window hides and shows.
#include "HostProcess.h"

#include "alarms/BigPicWgt.h"
#include "alarms/CPasswdInputWnd.h"
#include "shell/MessageClient.h"
#include "shell/ProcessEnd.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <functional>

class TestBigPicDialogs : public QObject
{
    Q_OBJECT
private:
    HostProcess m_host;

    // Runs the dialog and does fnAct inside its loop; one still open after 10 s ends with 99.
    static int execWith(CPasswdInputWnd* pDlg, std::function<void()> fnAct)
    {
        QTimer::singleShot(0, pDlg, std::move(fnAct));
        QTimer::singleShot(10000, pDlg, [pDlg] { pDlg->done(99); });
        return pDlg->exec();
    }

    // The show/hide notices the host received since line nFrom, up to the
    // large view's close notice that ends each case.
    QStringList noticesSince(int nFrom)
    {
        BigPicWgt marker(nullptr);
        marker.SetOwnerWnd(m_host.handle());
        marker.show();
        QTest::mouseClick(marker.findChild<QPushButton*>("clsBtn"), Qt::LeftButton);
        m_host.waitForLine("MSG 2052 w=10 l=1", 5000, nFrom);
        return m_host.lines().mid(nFrom).filter("MSG 2052 ");
    }

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(skin);
        SetModuleProcessEnd([] {});
        QVERIFY(m_host.start(false));
    }

    // Each way out tells the host once that the dialog went, deleting the
    // ended dialog tells it nothing more; Return with no code does nothing.
    void codeDialogTellsTheHostOnceEachWay_data()
    {
        QTest::addColumn<QString>("how");
        for (const char* szHow : {"OkBtn", "Return", "CancelBtn", "Escape", "delete"})
            QTest::newRow(szHow) << szHow;
    }
    void codeDialogTellsTheHostOnceEachWay()
    {
        QFETCH(QString, how);
        const int nFrom = m_host.lines().size();
        auto pDlg = std::make_unique<CPasswdInputWnd>(nullptr, nullptr);
        pDlg->SetOwnerWnd(m_host.handle());
        auto* pEdit = pDlg->findChild<QLineEdit*>("lineEdit");
        if (how == "delete") {
            pDlg->show();
        } else {
            const int nResult = execWith(pDlg.get(), [&] {
                QTest::keyClick(pEdit, Qt::Key_Return); // no code yet: nothing happens
                QTest::keyClicks(pEdit, "Ab3xZ");
                if (how.endsWith("Btn"))
                    QTest::mouseClick(pDlg->findChild<QPushButton*>(how), Qt::LeftButton);
                else
                    QTest::keyClick(pEdit, how == "Return" ? Qt::Key_Return : Qt::Key_Escape);
            });
            QCOMPARE(nResult, int(how == "OkBtn" || how == "Return" ? QDialog::Accepted : QDialog::Rejected));
            QCOMPARE(pDlg->InputText(), QStringLiteral("Ab3xZ"));
        }
        pDlg.reset();
        QCOMPARE(noticesSince(nFrom),
                 QStringList({"MSG 2052 w=1 l=0 sent", "MSG 2052 w=1 l=1 sent", "MSG 2052 w=10 l=1 sent"}));
    }

    void followsTheModuleWindowWithoutLosingTheAnswer()
    {
        MessageClient w{QString()};
        w.resize(900, 600);
        w.show();
        CPasswdInputWnd dlg(&w, &w);
        bool bHiddenWithModule = false, bShownWithModule = false;
        // Hide and show in separate turns of the event loop, as the host does.
        const int nResult = execWith(&dlg, [&] {
            QTest::keyClicks(dlg.findChild<QLineEdit*>("lineEdit"), "typed");
            w.SetModuleMiniFunc(true);
            bHiddenWithModule = !dlg.isVisible();
            QTimer::singleShot(0, &dlg, [&] {
                w.SetModuleMiniFunc(false);
                bShownWithModule = dlg.isVisible();
                QTimer::singleShot(0, &dlg, [&] {
                    QTest::mouseClick(dlg.findChild<QPushButton*>("OkBtn"), Qt::LeftButton);
                });
            });
        });
        QVERIFY(bHiddenWithModule && bShownWithModule && nResult == QDialog::Accepted);
        QCOMPARE(dlg.InputText(), QStringLiteral("typed"));
        // A show without a hide before opens no finished dialog.
        w.SetModuleMiniFunc(false);
        QVERIFY(!dlg.isVisible());
    }
};

QTEST_MAIN(TestBigPicDialogs)
#include "tst_bigpicdialogs.moc"
