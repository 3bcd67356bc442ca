// "Bild speichern..." and "Daten exportieren...": the save dialogs answered as a user would,
// the picture read back, the rows in the chart's time range, and saves that fail.
#include "imagecompare.h"
#include "logbuilder.h"
#include "mainwindow.h"
#include "opendialog.h"

#include <QDateTime>
#include <QLineEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

#include <time.h>

namespace {

// Six records ten minutes apart from 12 February 2026, 12:00 local time.
const qint32 kFirstStamp = 824036400;
const int kStep = 600;
const int kRecords = 6;

double keyOf(int record)
{
    return double(kFirstStamp + record * kStep + LogBuilder::kEpochOffset);
}

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

} // namespace

class TestChartExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void savesThePictureAsShownWithoutTheReadout_data();
    void savesThePictureAsShownWithoutTheReadout();
    void exportsTheRecordsInTheTimeRange_data();
    void exportsTheRecordsInTheTimeRange();
    void failureIsNamedAndChangesNothing_data();
    void failureIsNamedAndChangesNothing();

private:
    OpenDialog::Answer typeName(const char *action, const QString &name);
    QCustomPlot *plot() const { return mWindow->findChild<QCustomPlot *>("customPlot"); }

    MainWindow *mWindow = nullptr;
    QTemporaryDir *mDir = nullptr;
    QStringList mNameFilters;
};

void TestChartExport::initTestCase()
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
    Q_INIT_RESOURCE(resources);
}

void TestChartExport::init()
{
    mDir = new QTemporaryDir;
    QVERIFY(mDir->isValid());
    QVector<LogBuilder::Record> records;
    for (int i = 0; i < kRecords; ++i)
        records.append(LogBuilder::steppedRecord(kFirstStamp + i * kStep, qint16(-100 + 170 * i)));
    const QString log = mDir->filePath("a.log");
    QVERIFY(LogBuilder::writeFile(log, LogBuilder::logBytes(records)));
    mWindow = new MainWindow;
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow));
    mWindow->loadLogFiles({log});
    QFile::remove(log);
}

void TestChartExport::cleanup()
{
    delete mWindow;
    delete mDir;
}

// Types the name into the save dialog in the temporary folder and presses Return; an empty
// name presses Escape.
OpenDialog::Answer TestChartExport::typeName(const char *action, const QString &name)
{
    return OpenDialog::answerDialog(mWindow, action, [&](QFileDialog *dialog) {
        mNameFilters = dialog->acceptMode() == QFileDialog::AcceptSave ? dialog->nameFilters() : QStringList();
        dialog->setDirectory(mDir->path());
        auto *edit = dialog->findChild<QLineEdit *>("fileNameEdit");
        if (name.isEmpty() || !edit) {
            QTest::keyClick(dialog, Qt::Key_Escape);
            return;
        }
        edit->setText(name);
        QTest::keyClick(edit, Qt::Key_Return);
    });
}

void TestChartExport::savesThePictureAsShownWithoutTheReadout_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<double>("differingShare");
    QTest::newRow("no suffix: PNG") << "chart" << "chart.png" << 0.0;
    QTest::newRow("JPEG") << "chart.jpeg" << "chart.jpeg" << ImageCompare::kDifferingShare;
    QTest::newRow("PDF") << "chart.pdf" << "chart.pdf" << -1.0;
}

void TestChartExport::savesThePictureAsShownWithoutTheReadout()
{
    QFETCH(QString, typed);
    QFETCH(QString, saved);
    QFETCH(double, differingShare);
    plot()->xAxis->setRange(keyOf(1), keyOf(4));
    plot()->graph(2)->setVisible(false);
    plot()->replot();
    // A read-out drawn in pure red over the whole plot area, on a layer of its own.
    QVERIFY(plot()->addLayer("readout"));
    auto *readout = new QCPItemRect(plot());
    readout->setLayer("readout");
    readout->topLeft->setType(QCPItemPosition::ptAxisRectRatio);
    readout->bottomRight->setType(QCPItemPosition::ptAxisRectRatio);
    readout->topLeft->setCoords(0, 0);
    readout->bottomRight->setCoords(1, 1);
    readout->setBrush(Qt::red);
    plot()->layer("readout")->setVisible(false);
    const QImage shown = plot()->toPixmap().toImage();
    plot()->layer("readout")->setVisible(true);

    QVERIFY(typeName("actionSaveImage", typed).seen);
    QCOMPARE(mNameFilters, QStringList({"PNG (*.png)", "PDF (*.pdf)", "JPEG (*.jpg *.jpeg)"}));
    QVERIFY(plot()->layer("readout")->visible());
    QCOMPARE(mWindow->statusBar()->currentMessage(), QString());
    QCOMPARE(QDir(mDir->path()).entryList(QDir::Files), QStringList{saved});
    const QString fileName = mDir->filePath(saved);
    if (differingShare < 0) {
        const QByteArray pdf = contents(fileName);
        QVERIFY(pdf.startsWith("%PDF-"));
        QVERIFY2(!pdf.contains("/Subtype /Image"), "the chart is drawn as vectors, not as a picture");
        return;
    }
    const QImage picture(fileName);
    QCOMPARE(picture.size(), plot()->size());
    QVERIFY(ImageCompare::differingShare(picture, shown) <= differingShare);
}

void TestChartExport::exportsTheRecordsInTheTimeRange_data()
{
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::newRow("as loaded: all") << 0.0 << 0.0 << 0 << kRecords;
    QTest::newRow("bounds on records") << keyOf(1) << keyOf(3) << 1 << 3;
    QTest::newRow("bounds between records") << keyOf(1) + 1 << keyOf(4) - 1 << 2 << 2;
    QTest::newRow("no record in range") << keyOf(2) + 1 << keyOf(3) - 1 << 0 << 0;
}

void TestChartExport::exportsTheRecordsInTheTimeRange()
{
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(int, first);
    QFETCH(int, count);
    if (lower != upper)
        plot()->xAxis->setRange(lower, upper);
    plot()->graph(1)->setVisible(false); // hidden channels are exported all the same

    QVERIFY(typeName("actionExportData", "rows").seen);
    QCOMPARE(mNameFilters, QStringList{"CSV (*.csv)"});
    QByteArray expected = "Zeit;TSA1;TSE;TW;TSV;TAM\r\n";
    for (int i = first; i < first + count; ++i) {
        expected += QDateTime::fromSecsSinceEpoch(qint64(keyOf(i))).toString("yyyy-MM-dd HH:mm:ss").toLatin1();
        for (int channel = 0; channel < 5; ++channel)
            expected += ';' + QByteArray::number((-100 + 170 * i + 10 * channel) / 10);
        expected += "\r\n";
    }
    QCOMPARE(contents(mDir->filePath("rows.csv")), expected);
}

void TestChartExport::failureIsNamedAndChangesNothing_data()
{
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("status");
    // A folder that is a regular file fails for everyone, root too.
    QTest::newRow("picture") << QByteArray("actionSaveImage") << "blocker/chart.png" << "Nicht gespeichert: chart.png";
    QTest::newRow("records") << QByteArray("actionExportData") << "blocker/rows.csv" << "Nicht gespeichert: rows.csv";
    QTest::newRow("picture cancelled") << QByteArray("actionSaveImage") << QString() << QString();
    QTest::newRow("records cancelled") << QByteArray("actionExportData") << QString() << QString();
}

void TestChartExport::failureIsNamedAndChangesNothing()
{
    QFETCH(QByteArray, action);
    QFETCH(QString, typed);
    QFETCH(QString, status);
    const QString blocker = mDir->filePath("blocker");
    QVERIFY(LogBuilder::writeFile(blocker, "kept"));
    plot()->xAxis->setRange(keyOf(1), keyOf(2));
    const QImage before = plot()->toPixmap().toImage();

    const OpenDialog::Answer answer = typeName(action.constData(), typed);
    QVERIFY(answer.seen && !answer.stuck);
    QCOMPARE(mWindow->statusBar()->currentMessage(), status);
    QCOMPARE(QDir(mDir->path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"blocker"});
    QCOMPARE(contents(blocker), QByteArray("kept"));
    QCOMPARE(plot()->graph(0)->dataCount(), kRecords);
    QCOMPARE(plot()->toPixmap().toImage(), before);
}

QTEST_MAIN(TestChartExport)
#include "tst_chartexport.moc"
