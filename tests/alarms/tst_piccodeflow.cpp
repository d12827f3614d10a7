// The code flow of an encrypted picture: what follows a failed decryption for
// each thing it was started for, and which result still counts.
#include "alarms/CPicCodeFlow.h"
#include "playback/CVideoSdk.h"

#include <QtTest>

using Purpose = CPicCodeFlow::Purpose;
using Next = CPicCodeFlow::Next;
Q_DECLARE_METATYPE(Purpose)
Q_DECLARE_METATYPE(Next)

class TestPicCodeFlow : public QObject
{
    Q_OBJECT
private slots:
    void afterFailure_data()
    {
        QTest::addColumn<Purpose>("purpose");
        QTest::addColumn<int>("error");
        QTest::addColumn<Next>("next");
        QTest::addColumn<Next>("noCode"); // the dialog asked again, given up
        const int nWrong = OPENSDK_ERR_PICTURE_CODE;
        const int nGone = OPENSDK_ERR_PICTURE_EXPIRED;
        QTest::newRow("detail, wrong code")
            << Purpose::Detail << nWrong << Next::AskAgain << Next::DetailFailed;
        QTest::newRow("detail, expired")
            << Purpose::Detail << nGone << Next::DetailExpired << Next::DetailFailed;
        QTest::newRow("detail, other") << Purpose::Detail << -1 << Next::DetailFailed << Next::DetailFailed;
        QTest::newRow("large view, wrong code")
            << Purpose::BigPic << nWrong << Next::AskAgain << Next::Nothing;
        QTest::newRow("large view, expired")
            << Purpose::BigPic << nGone << Next::BigPicExpired << Next::Nothing;
        QTest::newRow("large view, other") << Purpose::BigPic << 0 << Next::Nothing << Next::Nothing;
        // The clip plays on whatever its picture does.
        QTest::newRow("playback, wrong code")
            << Purpose::Playback << nWrong << Next::Nothing << Next::Nothing;
    }
    void afterFailure()
    {
        QFETCH(Purpose, purpose);
        QFETCH(int, error);
        QFETCH(Next, next);
        QFETCH(Next, noCode);
        CPicCodeFlow flow;
        flow.SetPurpose(purpose);
        QCOMPARE(flow.AfterFailure(error), next);
        QCOMPARE(flow.AfterNoCode(), noCode);
    }

    void resultBelongsToItsMessage()
    {
        CPicCodeFlow flow;
        flow.SetPurpose(Purpose::BigPic);
        flow.Begin(7, "ABCDEF", true);
        QVERIFY(flow.IsFor(7) && !flow.IsFor(8));
        QVERIFY(flow.KeepsCode() && flow.OpensBigPic(true) && !flow.OpensBigPic(false));
        flow.Begin(8, "XYZ", false); // a code found for the camera is not stored again
        QVERIFY(!flow.KeepsCode());
    }
};

QTEST_APPLESS_MAIN(TestPicCodeFlow)
#include "tst_piccodeflow.moc"
