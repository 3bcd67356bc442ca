// SPDX-License-Identifier: GPL-3.0-or-later
// "Bild speichern..." and "Daten exportieren...": the save dialogs answered as a user would, the
// picture read back, the rows in the chart's time range, saves that fail or are cancelled.
#include "chart/pngfile.h"
#include "imagecompare.h"
#include "logbuilder.h"
#include "mainwindow.h"
#include "opendialog.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QtTest>
#include <qcustomplot.h>

Q_DECLARE_METATYPE(QCPRange)

// Six records ten minutes apart from 12 February 2026, 12:00 local time.
static double keyOf(int record)
{
    return double(824036400 + record * 600 + LogBuilder::kEpochOffset);
}

static QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

class TestChartExport : public QObject
{
    Q_OBJECT
    MainWindow *mWindow = nullptr;
    QTemporaryDir *mDir = nullptr;

    QCustomPlot *plot() const { return mWindow->findChild<QCustomPlot *>("customPlot"); }
    // Types the name into the save dialog in the temporary folder and presses Return; an empty
    // name presses Escape.
    OpenDialog::Answer typeName(const char *action, const QString &name)
    {
        return OpenDialog::answerDialog(mWindow, action, [&](QFileDialog *dialog) {
            dialog->setDirectory(mDir->path());
            auto *edit = dialog->findChild<QLineEdit *>("fileNameEdit");
            edit->setText(name);
            QTest::keyClick(edit, name.isEmpty() ? Qt::Key_Escape : Qt::Key_Return);
        });
    }

private slots:
    void init()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        mDir = new QTemporaryDir;
        QVector<LogBuilder::Record> records;
        for (int i = 0; i < 6; ++i)
            records.append(LogBuilder::steppedRecord(824036400 + i * 600, qint16(-100 + 170 * i)));
        QVERIFY(LogBuilder::writeFile(mDir->filePath("a.log"), LogBuilder::logBytes(records)));
        mWindow = new MainWindow;
        mWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mWindow));
        mWindow->loadLogFiles({mDir->filePath("a.log")});
        QVERIFY(QFile::remove(mDir->filePath("a.log")));
        plot()->graph(1)->setVisible(false); // drawn hidden, exported all the same
    }
    void cleanup() { delete mWindow; delete mDir; }
    void savesThePictureAsShownWithoutTheReadout_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<double>("differingShare"); // -1: a PDF
        QTest::newRow("no suffix: PNG") << "chart" << "chart.png" << 0.0;
        QTest::newRow("JPEG") << "chart.jpeg" << "chart.jpeg" << ImageCompare::kDifferingShare;
        QTest::newRow("PDF") << "chart.pdf" << "chart.pdf" << -1.0;
    }
    void savesThePictureAsShownWithoutTheReadout()
    {
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QFETCH(double, differingShare);
        plot()->xAxis->setRange(keyOf(1), keyOf(4));
        const QImage shown = plot()->toPixmap().toImage();
        // A read-out in pure red over the whole chart, on its layer.
        QVERIFY(plot()->layer("readout"));
        auto *readout = new QCPItemRect(plot());
        readout->setLayer("readout");
        readout->topLeft->setCoords(keyOf(0), 200);
        readout->bottomRight->setCoords(keyOf(5), -200);
        readout->setBrush(Qt::red);
        mWindow->statusBar()->showMessage("Nicht gespeichert: earlier.png");
        QVERIFY(typeName("actionSaveImage", typed).seen);
        QCOMPARE(mWindow->statusBar()->currentMessage(), QString()); // the earlier failure taken back
        QVERIFY(plot()->layer("readout")->visible());
        QCOMPARE(QDir(mDir->path()).entryList(QDir::Files), QStringList{saved});
        const QByteArray bytes = contents(mDir->filePath(saved));
        if (differingShare < 0) {
            QVERIFY(bytes.startsWith("%PDF-"));
            QVERIFY2(!bytes.contains("/Subtype /Image"), "drawn as vectors, not as a picture");
            return;
        }
        const QImage picture = QImage::fromData(bytes);
        QCOMPARE(picture.size(), plot()->size());
        QVERIFY(ImageCompare::differingShare(picture, shown) <= differingShare);
    }
    void exportsTheRecordsInTheTimeRange_data()
    {
        QTest::addColumn<QCPRange>("range");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::newRow("as loaded: all") << QCPRange() << 0 << 6;
        QTest::newRow("bounds on records") << QCPRange(keyOf(1), keyOf(3)) << 1 << 3;
        QTest::newRow("bounds between records") << QCPRange(keyOf(1) + 1, keyOf(4) - 1) << 2 << 2;
        QTest::newRow("no record in range") << QCPRange(keyOf(2) + 1, keyOf(3) - 1) << 0 << 0;
    }
    void exportsTheRecordsInTheTimeRange()
    {
        QFETCH(QCPRange, range);
        QFETCH(int, first);
        QFETCH(int, count);
        if (range.size() > 0)
            plot()->xAxis->setRange(range);
        QVERIFY(typeName("actionExportData", "rows").seen);
        QByteArray expected = "Zeit;TSA1;TSE;TW;TSV;TAM\r\n";
        for (int i = first; i < first + count; ++i) {
            expected += QDateTime::fromSecsSinceEpoch(qint64(keyOf(i))).toString("yyyy-MM-dd HH:mm:ss").toLatin1();
            for (int channel = 0; channel < 5; ++channel)
                expected += ';' + QByteArray::number((-100 + 170 * i + 10 * channel) / 10);
            expected += "\r\n";
        }
        QCOMPARE(contents(mDir->filePath("rows.csv")), expected);
    }
    void failureIsNamedAndChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("action");
        QTest::addColumn<QString>("typed"); // a folder that is a regular file fails for root too
        QTest::addColumn<QString>("message");
        QTest::newRow("picture") << QByteArray("actionSaveImage") << "blocker/chart.png" << "Nicht gespeichert: chart.png";
        QTest::newRow("records") << QByteArray("actionExportData") << "blocker/rows.csv" << "Nicht gespeichert: rows.csv";
        QTest::newRow("picture cancelled") << QByteArray("actionSaveImage") << QString() << QString();
        QTest::newRow("records cancelled") << QByteArray("actionExportData") << QString() << QString();
    }
    void failureIsNamedAndChangesNothing()
    {
        QFETCH(QByteArray, action);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QVERIFY(LogBuilder::writeFile(mDir->filePath("blocker"), "kept"));
        const QImage before = plot()->toPixmap().toImage();
        const OpenDialog::Answer answer = typeName(action.constData(), typed);
        QVERIFY(answer.seen && !answer.stuck);
        QCOMPARE(mWindow->statusBar()->currentMessage(), message);
        QCOMPARE(QDir(mDir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"blocker"});
        QCOMPARE(contents(mDir->filePath("blocker")), QByteArray("kept"));
        QCOMPARE(plot()->toPixmap().toImage(), before);
    }
    // Pictures written as PNG read back pixel for pixel, opaque or translucent, at any size.
    void pngFilesReadBackAsWritten_data()
    {
        QTest::addColumn<QImage>("image");
        QImage opaque(1, 1, QImage::Format_RGB32);
        opaque.fill(QColor(12, 34, 56));
        QImage translucent(7, 5, QImage::Format_ARGB32_Premultiplied);
        QImage noise(301, 203, QImage::Format_RGB32);
        for (QImage *image : {&translucent, &noise}) {
            for (int y = 0; y < image->height(); ++y) {
                for (int x = 0; x < image->width(); ++x)
                    image->setPixel(x, y, qPremultiply(QRandomGenerator::global()->generate() | (x == y ? 0xff000000u : 0u)));
            }
        }
        QTest::newRow("one opaque pixel") << opaque;
        QTest::newRow("translucent, every alpha") << translucent;
        QTest::newRow("opaque noise") << noise;
    }
    void pngFilesReadBackAsWritten()
    {
        QFETCH(QImage, image);
        QBuffer file;
        QVERIFY(file.open(QIODevice::WriteOnly) && PngFile::write(image, file));
        const QImage read = QImage::fromData(file.data(), "PNG");
        QCOMPARE(read.hasAlphaChannel(), image.hasAlphaChannel());
        QCOMPARE(read.convertToFormat(QImage::Format_ARGB32), image.convertToFormat(QImage::Format_ARGB32));
    }
};

QTEST_MAIN(TestChartExport)
#include "tst_chartexport.moc"
