// Every skin image compiled in loads, and every ":/Skin/..." path the sources
// name exists (a missing one leaves a control blank).
#include <QDirIterator>
#include <QImage>
#include <QRegularExpression>
#include <QtTest>

class TestSkinImages : public QObject
{
    Q_OBJECT
private slots:
    void everyImageLoadsAndEveryUsedPathExists()
    {
        Q_INIT_RESOURCE(skin);
        int images = 0;
        for (QDirIterator it(QStringLiteral(":/Skin"), QDir::Files, QDirIterator::Subdirectories);
             it.hasNext(); ++images)
            QVERIFY2(!QImage(it.next()).isNull(), qPrintable(it.filePath()));
        QVERIFY(images > 0);

        const QRegularExpression used(QStringLiteral(R"(:/Skin/[A-Za-z0-9_./-]+\.(?:png|gif))"));
        QDirIterator it(qEnvironmentVariable("MC_SOURCE_DIR") + QStringLiteral("/src"),
                        {"*.cpp", "*.h", "*.ui", "*.qss"}, QDir::Files, QDirIterator::Subdirectories);
        QVERIFY(it.hasNext());
        while (it.hasNext()) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            for (auto match = used.globalMatch(QString::fromUtf8(file.readAll())); match.hasNext();) {
                const QString path = match.next().captured();
                QVERIFY2(QFile::exists(path), qPrintable(file.fileName() + ": " + path));
            }
        }
    }
};

QTEST_MAIN(TestSkinImages)
#include "tst_skin_images.moc"
