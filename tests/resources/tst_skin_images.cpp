// The skin images as the widgets see them: compiled into the core library and
// read through ":/Skin/...". A wrong size stretches or crops an icon in its
// style-sheet box, a missing file leaves a control blank, so both are checked.
#include <QColor>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QMovie>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

namespace {

struct SkinImage
{
    const char* path;
    int width;
    int height;
    bool opaque; // drawn edge to edge, with no transparent pixel
};

// Sizes follow the boxes the images are drawn into: 12 x 12 combo arrows and
// check box, 16 x 16 menu/title/paging icons and play/pause indicator,
// 20 x 20 full-screen indicator, 21 x 21 large-view close, 28 x 28 tip and
// message box icons, 60 x 60 round play button, the two picture boxes.
const SkinImage kImages[] = {
    {":/Skin/main/icon_arrow_left.png", 16, 16, false},
    {":/Skin/main/icon_arrow_left_disabled.png", 16, 16, false},
    {":/Skin/main/icon_arrow_right.png", 16, 16, false},
    {":/Skin/main/icon_arrow_right_disabled.png", 16, 16, false},
    {":/Skin/main/icon_batch_delete_default.png", 16, 16, false},
    {":/Skin/main/icon_calendar_default.png", 16, 16, false},
    {":/Skin/main/icon_close_21x21.png", 21, 21, false},
    {":/Skin/main/icon_close_default.png", 16, 16, false},
    {":/Skin/main/icon_close_hover.png", 16, 16, false},
    {":/Skin/main/icon_correct.png", 28, 28, false},
    {":/Skin/main/icon_delete_default.png", 16, 16, false},
    {":/Skin/main/icon_down_default.png", 12, 12, false},
    {":/Skin/main/icon_down_hover.png", 12, 12, false},
    {":/Skin/main/icon_error.png", 28, 28, false},
    {":/Skin/main/icon_filtrate_default.png", 16, 16, false},
    {":/Skin/main/icon_first.png", 16, 16, false},
    {":/Skin/main/icon_first_disabled.png", 16, 16, false},
    {":/Skin/main/icon_last.png", 16, 16, false},
    {":/Skin/main/icon_last_disabled.png", 16, 16, false},
    {":/Skin/main/icon_max_default.png", 16, 16, false},
    {":/Skin/main/icon_max_hover.png", 16, 16, false},
    {":/Skin/main/icon_min_default.png", 16, 16, false},
    {":/Skin/main/icon_min_hover.png", 16, 16, false},
    {":/Skin/main/icon_read_default.png", 16, 16, false},
    {":/Skin/main/icon_refresh_default.png", 16, 16, false},
    {":/Skin/main/icon_restore_default.png", 16, 16, false},
    {":/Skin/main/icon_restore_hover.png", 16, 16, false},
    {":/Skin/main/icon_search_default.png", 16, 16, false},
    {":/Skin/main/icon_sel_default.png", 12, 12, false},
    {":/Skin/main/icon_sel_hover.png", 12, 12, false},
    {":/Skin/main/icon_sel_selected.png", 12, 12, false},
    {":/Skin/main/icon_up_default.png", 12, 12, false},
    {":/Skin/main/icon_up_hover.png", 12, 12, false},
    {":/Skin/main/image_default_cover_101x57.png", 101, 57, true},
    {":/Skin/main/image_default_cover_314x176.png", 314, 176, true},
    {":/Skin/main/image_encrypted_101x57.png", 101, 57, true},
    {":/Skin/main/image_encrypted_314x176.png", 314, 176, true},
    {":/Skin/main/image_loading_failed_101x57.png", 101, 57, true},
    {":/Skin/main/image_loading_failed_314x176.png", 314, 176, true},
    {":/Skin/main/image_overdue_101x57.png", 101, 57, true},
    {":/Skin/main/image_overdue_314x176.png", 314, 176, true},
    {":/Skin/main/loading.gif", 40, 40, false},
    {":/Skin/main/news_icon_fullscreen_default.png", 20, 20, false},
    {":/Skin/main/news_icon_fullscreen_hover.png", 20, 20, false},
    {":/Skin/main/news_icon_fullscreen_reduction_default.png", 20, 20, false},
    {":/Skin/main/news_icon_fullscreen_reduction_hover.png", 20, 20, false},
    {":/Skin/main/news_icon_play_1_default.png", 16, 16, false},
    {":/Skin/main/news_icon_play_2_hover.png", 16, 16, false},
    {":/Skin/main/news_icon_play_default.png", 60, 60, false},
    {":/Skin/main/news_icon_play_hover.png", 60, 60, false},
    {":/Skin/main/news_icon_suspended_default.png", 16, 16, false},
    {":/Skin/main/news_icon_suspended_hover.png", 16, 16, false},
    {":/Skin/main/red_dot.png", 8, 8, false},
    {":/Skin/msgbox/icon_close_default.png", 16, 16, false},
    {":/Skin/msgbox/icon_close_hover.png", 16, 16, false},
    {":/Skin/msgbox/icon_error.png", 28, 28, false},
    {":/Skin/msgbox/icon_hint.png", 28, 28, false},
};

// Normal state and its hover (or ticked) state: a copy-paste slip that ships
// the same picture twice makes the hover feedback disappear.
const char* const kVariantPairs[][2] = {
    {":/Skin/main/icon_down_default.png", ":/Skin/main/icon_down_hover.png"},
    {":/Skin/main/icon_up_default.png", ":/Skin/main/icon_up_hover.png"},
    {":/Skin/main/icon_sel_default.png", ":/Skin/main/icon_sel_hover.png"},
    {":/Skin/main/icon_sel_default.png", ":/Skin/main/icon_sel_selected.png"},
    {":/Skin/main/icon_min_default.png", ":/Skin/main/icon_min_hover.png"},
    {":/Skin/main/icon_max_default.png", ":/Skin/main/icon_max_hover.png"},
    {":/Skin/main/icon_restore_default.png", ":/Skin/main/icon_restore_hover.png"},
    {":/Skin/main/icon_close_default.png", ":/Skin/main/icon_close_hover.png"},
    {":/Skin/main/news_icon_play_1_default.png", ":/Skin/main/news_icon_play_2_hover.png"},
    {":/Skin/main/news_icon_suspended_default.png", ":/Skin/main/news_icon_suspended_hover.png"},
    {":/Skin/main/news_icon_fullscreen_default.png", ":/Skin/main/news_icon_fullscreen_hover.png"},
    {":/Skin/main/news_icon_fullscreen_reduction_default.png",
     ":/Skin/main/news_icon_fullscreen_reduction_hover.png"},
    {":/Skin/main/news_icon_play_default.png", ":/Skin/main/news_icon_play_hover.png"},
    {":/Skin/msgbox/icon_close_default.png", ":/Skin/msgbox/icon_close_hover.png"},
};

const QColor kAccent(0x61, 0x86, 0xff);

bool hasOpaquePixelNear(const QImage& image, const QColor& colour)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() == 255 && qAbs(c.red() - colour.red()) < 12 &&
                qAbs(c.green() - colour.green()) < 12 && qAbs(c.blue() - colour.blue()) < 12)
                return true;
        }
    }
    return false;
}

int transparentPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) < 255 ? 1 : 0;
    }
    return count;
}

// More than one colour among the visible pixels: rules out an empty canvas
// or a flat fill where a pictogram was meant to be.
bool showsSomething(const QImage& image)
{
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) > 0)
                seen.insert(p);
            if (seen.size() > 1)
                return true;
        }
    }
    return false;
}

QImage load(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

QStringList compiledInPaths()
{
    QStringList paths;
    QDirIterator it(QStringLiteral(":/Skin"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    paths.sort();
    return paths;
}

QString sourceDir()
{
    return qEnvironmentVariable("MC_SOURCE_DIR");
}

} // namespace

class TestSkinImages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void imageMatchesItsBox_data();
    void imageMatchesItsBox();
    void resourcesAndTableAgree();
    void everyDrawnFileIsCompiledIn();
    void variantsDifferAndHoverUsesAccent();
    void loadingAnimationLoops();
    void pathsUsedInSourcesExist();
};

void TestSkinImages::initTestCase()
{
    // The images live in a static library; without this the linker may drop
    // them and every ":/Skin/..." lookup comes back empty.
    Q_INIT_RESOURCE(skin);
    QVERIFY2(QFile::exists(QStringLiteral(":/Skin/main/loading.gif")), "skin resources not registered");
}

void TestSkinImages::imageMatchesItsBox_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("opaque");
    for (const SkinImage& image : kImages)
        QTest::newRow(image.path) << QString::fromLatin1(image.path) << QSize(image.width, image.height)
                                  << image.opaque;
}

void TestSkinImages::imageMatchesItsBox()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(bool, opaque);

    QImageReader reader(path);
    QVERIFY2(reader.canRead(), qPrintable(path + ": " + reader.errorString()));
    QCOMPARE(reader.size(), size);

    const QImage image = load(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), size);
    QVERIFY2(showsSomething(image), qPrintable(path + " is blank"));
    if (opaque)
        QCOMPARE(transparentPixels(image), 0);
    else
        QVERIFY2(transparentPixels(image) > 0, qPrintable(path + " should let its background through"));
}

void TestSkinImages::resourcesAndTableAgree()
{
    QStringList expected;
    for (const SkinImage& image : kImages)
        expected << QString::fromLatin1(image.path);
    expected.sort();
    // An extra file means an image nobody checks the size of; a missing one
    // is a blank control.
    QCOMPARE(compiledInPaths(), expected);
}

void TestSkinImages::everyDrawnFileIsCompiledIn()
{
    if (sourceDir().isEmpty())
        QSKIP("MC_SOURCE_DIR not set");
    const QString root = sourceDir() + QStringLiteral("/src/resources");
    QDirIterator it(root + QStringLiteral("/Skin"), QDir::Files, QDirIterator::Subdirectories);
    int files = 0;
    while (it.hasNext()) {
        const QString relative = QDir(root).relativeFilePath(it.next());
        QVERIFY2(QFile::exists(QStringLiteral(":/") + relative),
                 qPrintable(relative + " is missing from skin.qrc"));
        ++files;
    }
    QCOMPARE(files, compiledInPaths().size());
}

void TestSkinImages::variantsDifferAndHoverUsesAccent()
{
    for (const auto& pair : kVariantPairs) {
        const QImage normal = load(QString::fromLatin1(pair[0]));
        const QImage other = load(QString::fromLatin1(pair[1]));
        QVERIFY2(normal.size() == other.size(), pair[1]);
        QVERIFY2(normal != other, pair[1]);
        QVERIFY2(hasOpaquePixelNear(other, kAccent), pair[1]);
        QVERIFY2(!hasOpaquePixelNear(normal, kAccent), pair[0]);
    }
}

void TestSkinImages::loadingAnimationLoops()
{
    const QString path = QStringLiteral(":/Skin/main/loading.gif");
    QMovie movie(path);
    QVERIFY(movie.isValid());
    QVERIFY2(movie.frameCount() >= 8, qPrintable(QString::number(movie.frameCount())));
    // -1 is "forever": a finite count would freeze the spinner on long loads.
    QCOMPARE(movie.loopCount(), -1);

    QImageReader reader(path);
    QVERIFY(reader.supportsAnimation());
    QImage previous;
    QImage first;
    int frames = 0;
    while (reader.canRead()) {
        const QImage frame = reader.read().convertToFormat(QImage::Format_ARGB32);
        if (frame.isNull())
            break;
        QCOMPARE(frame.size(), QSize(40, 40));
        QVERIFY2(reader.nextImageDelay() > 0, "a zero delay spins as fast as the event loop allows");
        QVERIFY2(hasOpaquePixelNear(frame, kAccent), qPrintable(QString::number(frames)));
        if (frames == 0)
            first = frame;
        else
            QVERIFY2(frame != previous, qPrintable(QString("frame %1 repeats the one before").arg(frames)));
        previous = frame;
        ++frames;
    }
    QCOMPARE(frames, movie.frameCount());
    // The last frame must lead back into the first, not jump to it twice.
    QVERIFY(previous != first);
}

void TestSkinImages::pathsUsedInSourcesExist()
{
    if (sourceDir().isEmpty())
        QSKIP("MC_SOURCE_DIR not set");
    const QRegularExpression used(QStringLiteral(R"(:/Skin/[A-Za-z0-9_./-]+\.(?:png|gif))"));
    const QStringList filters{"*.cpp", "*.h", "*.ui", "*.qss"};
    QDirIterator it(sourceDir() + QStringLiteral("/src"), filters, QDir::Files, QDirIterator::Subdirectories);
    QStringList missing;
    while (it.hasNext()) {
        QFile file(it.next());
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QString text = QString::fromUtf8(file.readAll());
        auto matches = used.globalMatch(text);
        while (matches.hasNext()) {
            const QString path = matches.next().captured();
            if (!QFile::exists(path))
                missing << QDir(sourceDir()).relativeFilePath(file.fileName()) + ": " + path;
        }
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join('\n')));
}

QTEST_MAIN(TestSkinImages)
#include "tst_skin_images.moc"
