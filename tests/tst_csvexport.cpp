// The CSV writer on its own, built from its source with Qt Core only: its exact bytes, each row
// read back through QDateTime over a year with both clock changes, and writes that fail.
#include "csvexport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <time.h>

using Rows = QVector<QVector<double>>; // key, then one value per channel

namespace {

const QStringList kChannels{"TSA1", "TSE", "TW", "TSV", "TAM"};

bool saveRows(const QString &fileName, const Rows &rows)
{
    return CsvExport::save(fileName, kChannels, rows.size(), [&rows](qint64 index, double &key, double *values) {
        key = rows[int(index)][0];
        std::copy(rows[int(index)].begin() + 1, rows[int(index)].end(), values);
    });
}

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

} // namespace

class TestCsvExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void writesRowsAsText_data();
    void writesRowsAsText();
    void rowsOfAYearReadBackAsLocalTime();
    void failureLeavesTheTargetAsItWas();

private:
    QTemporaryDir mDir;
};

void TestCsvExport::initTestCase()
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
    QVERIFY(mDir.isValid());
}

void TestCsvExport::writesRowsAsText_data()
{
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray header = "Zeit;TSA1;TSE;TW;TSV;TAM\r\n";
    QTest::newRow("no record") << Rows{} << header;
    QTest::newRow("winter, summer, below zero")
        << Rows{{1770894000, 64, 41, 47, 38, 3}, {1782900000, 0, -1, -12, 100, -3276}}
        << header + "2026-02-12 12:00:00;64;41;47;38;3\r\n2026-07-01 12:00:00;0;-1;-12;100;-3276\r\n";
    QTest::newRow("clocks go forward")
        << Rows{{1774745999, 1, 2, 3, 4, 5}, {1774746000, 1, 2, 3, 4, 5}}
        << header + "2026-03-29 01:59:59;1;2;3;4;5\r\n2026-03-29 03:00:00;1;2;3;4;5\r\n";
    QTest::newRow("clocks go back, the hour twice")
        << Rows{{1792888200, 1, 2, 3, 4, 5}, {1792891800, 6, 7, 8, 9, 10}}
        << header + "2026-10-25 02:30:00;1;2;3;4;5\r\n2026-10-25 02:30:00;6;7;8;9;10\r\n";
    QTest::newRow("far years, a new year by the offset")
        << Rows{{-1199192400, 1, 1, 1, 1, 1}, {1798758000, 2, 2, 2, 2, 2}, {3094168447, 3, 3, 3, 3, 3}}
        << header + "1932-01-01 12:00:00;1;1;1;1;1\r\n2027-01-01 00:00:00;2;2;2;2;2\r\n"
                    "2068-01-19 04:14:07;3;3;3;3;3\r\n";
}

void TestCsvExport::writesRowsAsText()
{
    QFETCH(Rows, rows);
    QFETCH(QByteArray, expected);
    const QString fileName = mDir.filePath("rows.csv");
    QVERIFY(saveRows(fileName, rows));
    QCOMPARE(contents(fileName), expected);
}

// Every 59 minutes and 7 seconds through 2026: rows in every hour of the day, both clock
// changes, and stretches of one offset that end in the middle of a day.
void TestCsvExport::rowsOfAYearReadBackAsLocalTime()
{
    Rows rows;
    for (double key = 1767225600; key < 1798761600; key += 59 * 60 + 7)
        rows.append({key, double(rows.size() % 200 - 100), 1, 2, 3, 4});
    const QString fileName = mDir.filePath("year.csv");
    QVERIFY(saveRows(fileName, rows));

    const QList<QByteArray> lines = contents(fileName).split('\n');
    QCOMPARE(lines.size(), rows.size() + 2); // header, rows, nothing after the last line end
    QVERIFY(lines.last().isEmpty());
    for (int i = 0; i < rows.size(); ++i) {
        QVERIFY2(lines[i + 1].endsWith('\r'), lines[i + 1].constData());
        const QList<QByteArray> fields = lines[i + 1].chopped(1).split(';');
        QCOMPARE(fields.size(), 6);
        const QDateTime local = QDateTime::fromSecsSinceEpoch(qint64(rows[i][0]));
        QCOMPARE(QString::fromLatin1(fields[0]), local.toString("yyyy-MM-dd HH:mm:ss"));
        for (int channel = 1; channel < 6; ++channel)
            QCOMPARE(fields[channel].toDouble(), rows[i][channel]);
    }
}

// Root ignores permissions; these fail for everyone. The temporary name of a file whose own
// name is near the longest allowed is too long, so even an existing file cannot be replaced.
void TestCsvExport::failureLeavesTheTargetAsItWas()
{
    QTemporaryDir dir;
    const Rows rows{{1770894000, 64, 41, 47, 38, 3}};
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    QVERIFY(!saveRows(dir.filePath("folder"), rows));
    QVERIFY(QFileInfo(dir.filePath("folder")).isDir());

    const QString blocker = dir.filePath("blocker");
    const QString longName = dir.filePath(QString(250, 'n') + ".csv");
    for (const QString &existing : {blocker, longName}) {
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("kept") == 4);
    }
    QVERIFY(!saveRows(blocker + "/rows.csv", rows));
    QVERIFY(!saveRows(longName, rows));
    QCOMPARE(contents(blocker), QByteArray("kept"));
    QCOMPARE(contents(longName), QByteArray("kept"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no temporary file left
}

QTEST_GUILESS_MAIN(TestCsvExport)
#include "tst_csvexport.moc"
