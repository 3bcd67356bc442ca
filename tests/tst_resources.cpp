// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures built into the program: their paths, their bytes and what each picture is.
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QMovie>
#include <QResource>
#include <QtTest>

namespace {

const QString kIcon = QStringLiteral(":/images/images/logo.jpg");
const QString kLogo = QStringLiteral(":/images/images/logo_g.gif");
const QString kSmallLogo = QStringLiteral(":/images/images/logo.gif");

QStringList entriesBelow(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next();
    entries.sort();
    return entries;
}

// The JPEG marker codes up to the start of the scan.
QList<int> markersOf(const QByteArray &jpeg)
{
    QList<int> markers;
    int at = 0;
    while (at + 1 < jpeg.size() && uchar(jpeg.at(at)) == 0xFF) {
        const int marker = uchar(jpeg.at(at + 1));
        markers << marker;
        if (marker == 0xD8) { // start of image: no length field
            at += 2;
            continue;
        }
        if (marker == 0xDA || at + 3 >= jpeg.size())
            break;
        at += 2 + (uchar(jpeg.at(at + 2)) << 8 | uchar(jpeg.at(at + 3)));
    }
    return markers;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void registeredBeforeTheEntryPointRuns();
    void collectionHoldsExactlyTheThreePictures();
    void entriesAreTheCommittedBytesUncompressed();
    void registeringTwiceKeepsOneRegistration();
    void iconIsAStillSixteenPixelBaselineJpeg();
    void logosAreEndlessAnimations_data();
    void logosAreEndlessAnimations();
};

void TestResources::registeredBeforeTheEntryPointRuns()
{
    // Nothing has called the registration function yet: only the collection's own start-up
    // registration can make the paths resolve here.
    QVERIFY(QFile::exists(kIcon));
    QVERIFY(QFile::exists(kLogo));
    QVERIFY(QFile::exists(kSmallLogo));
}

void TestResources::collectionHoldsExactlyTheThreePictures()
{
    QCOMPARE(entriesBelow(":/images"),
             QStringList({":/images/images", ":/images/images/logo.gif", ":/images/images/logo.jpg",
                          ":/images/images/logo_g.gif"}));
    QCOMPARE(QDir(":/").entryList(QStringList("images*")), QStringList("images"));
}

void TestResources::entriesAreTheCommittedBytesUncompressed()
{
    for (const QString &name : {"logo.jpg", "logo_g.gif", "logo.gif"}) {
        const QResource entry(":/images/images/" + name);
        QVERIFY2(entry.isValid(), qPrintable(name));
        QCOMPARE(entry.compressionAlgorithm(), QResource::NoCompression);
        // Format 1 entries carry no modification time.
        QVERIFY(!entry.lastModified().isValid());

        QFile committed(QStringLiteral(IMAGES_DIR "/") + name);
        QVERIFY(committed.open(QIODevice::ReadOnly));
        const QByteArray bytes = committed.readAll();
        QCOMPARE(entry.size(), qint64(bytes.size()));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(entry.data()), int(entry.size())), bytes);
    }
}

void TestResources::registeringTwiceKeepsOneRegistration()
{
    Q_INIT_RESOURCE(resources);
    QCOMPARE(entriesBelow(":/images").size(), 4);
    QVERIFY(QFile::exists(kLogo));

    // Were there two registrations, one clean-up would leave the paths in place.
    Q_CLEANUP_RESOURCE(resources);
    const bool goneAfterOneCleanUp = !QFile::exists(kLogo);
    Q_INIT_RESOURCE(resources);
    QVERIFY(goneAfterOneCleanUp);
    QVERIFY(QFile::exists(kLogo));
}

void TestResources::iconIsAStillSixteenPixelBaselineJpeg()
{
    QImageReader reader(kIcon);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QCOMPARE(reader.size(), QSize(16, 16));
    QVERIFY(!reader.supportsAnimation());
    QVERIFY(reader.textKeys().isEmpty());
    QVERIFY(!reader.read().isNull());

    QFile file(kIcon);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray jpeg = file.readAll();
    QCOMPARE(jpeg.mid(6, 5), QByteArray("JFIF\0", 5));
    QCOMPARE(jpeg.mid(11, 2), QByteArray("\x01\x01"));
    const QList<int> markers = markersOf(jpeg);
    QVERIFY(!markers.isEmpty());
    QCOMPARE(markers.first(), 0xD8);
    QCOMPARE(markers.last(), 0xDA);
    QCOMPARE(markers.count(0xE0), 1); // JFIF header, nothing else in application segments
    QCOMPARE(markers.count(0xC0), 1); // baseline frame
    for (int marker : markers) {
        QVERIFY2(marker == 0xD8 || marker == 0xE0 || marker == 0xDB || marker == 0xC0
                     || marker == 0xC4 || marker == 0xDA,
                 qPrintable(QString::number(marker, 16)));
    }
}

void TestResources::logosAreEndlessAnimations_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("restingFrame");

    QTest::newRow("logo_g.gif") << kLogo << QSize(120, 120) << 58 << 38;
    QTest::newRow("logo.gif") << kSmallLogo << QSize(16, 16) << 21 << 11;
}

void TestResources::logosAreEndlessAnimations()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(int, frames);
    QFETCH(int, restingFrame);

    QMovie movie(path);
    QVERIFY(movie.isValid());
    QCOMPARE(movie.format(), QByteArray("gif"));
    QCOMPARE(movie.loopCount(), -1);
    QCOMPARE(movie.frameCount(), frames);
    QVERIFY(movie.jumpToFrame(0));
    QCOMPARE(movie.frameRect().size(), size);
    QCOMPARE(movie.currentImage().size(), size);

    // Every frame shows for a tenth of a second except one that rests for a whole second.
    QImageReader reader(path);
    QVERIFY(reader.supportsAnimation());
    QCOMPARE(reader.size(), size);
    QList<int> delays;
    while (reader.canRead() && !reader.read().isNull())
        delays << reader.nextImageDelay();
    QCOMPARE(delays.size(), frames);
    QCOMPARE(delays.at(restingFrame - 1), 1000);
    QCOMPARE(delays.count(100), frames - 1);
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
