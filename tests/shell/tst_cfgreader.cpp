// The configuration file is the operator's; whatever state it is in, a read
// gives the value or the caller's default.
#include "base/CfgReader.h"

#include <QTemporaryDir>
#include <QtTest>

class TestCfgReader : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    std::string write(const char* szName, const QByteArray& content)
    {
        const QString strPath = m_dir.filePath(szName);
        QFile file(strPath);
        file.open(QIODevice::WriteOnly);
        file.write(content);
        return strPath.toStdString();
    }

private slots:
    void readsChildOfConfigure()
    {
        const std::string strPath =
            write("ok.cfg", "<?xml version=\"1.0\"?>\n<!-- c -->\n<Configure>"
                            "<rec_folder>/r</rec_folder><snap_folder>/s/快照</snap_folder>"
                            "</Configure>");
        QCOMPARE(ReadCfgString(strPath, "snap_folder", "def"),
                 QString("/s/快照").toLocal8Bit().toStdString());
        QCOMPARE(ReadCfgString(strPath, "rec_folder", "def"), std::string("/r"));
    }

    void anythingElseGivesTheDefault_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("other root") << QByteArray("<Config><snap_folder>/s</snap_folder></Config>");
        QTest::newRow("missing key") << QByteArray("<Configure><rec_folder>/r</rec_folder></Configure>");
        QTest::newRow("malformed") << QByteArray("<Configure><snap_folder>/s</snap_folder>");
        QTest::newRow("mismatched") << QByteArray("<Configure><snap_folder>/s</rec_folder></Configure>");
        QTest::newRow("grandchild only")
            << QByteArray("<Configure><a><snap_folder>/s</snap_folder></a></Configure>");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe<<", 5);
    }
    void anythingElseGivesTheDefault()
    {
        QFETCH(QByteArray, content);
        QCOMPARE(ReadCfgString(write("bad.cfg", content), "snap_folder", "def"), std::string("def"));
    }

    void missingFileGivesTheDefault()
    {
        QCOMPARE(ReadCfgString(m_dir.filePath("none.cfg").toStdString(), "snap_folder", "def"),
                 std::string("def"));
        QCOMPARE(ReadCfgString("", "snap_folder", "def"), std::string("def"));
        QCOMPARE(ReadCfgString(m_dir.path().toStdString(), "snap_folder", "def"), std::string("def"));
    }
};

QTEST_MAIN(TestCfgReader)
#include "tst_cfgreader.moc"
