// SPDX-License-Identifier: GPL-3.0-or-later
// The CSV writer alone, built from its source with Qt Core only: a year of rows with both clock
// changes read back through QDateTime, and no rows. Failing writes are tested through the window.
#include "logs/csvexport.h"

#include <QtTest>

#include <time.h>

using Rows = QVector<QVector<double>>; // key, then one value per channel

static bool saveRows(const QString &fileName, const Rows &rows)
{
    return CsvExport::save(fileName, {"TSA1", "TSE", "TW", "TSV", "TAM"}, rows.size(),
                           [&rows](qint64 index, double &key, double *values) {
                               key = rows[int(index)][0];
                               std::copy(rows[int(index)].begin() + 1, rows[int(index)].end(), values);
                           });
}

static QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

class TestCsvExport : public QObject
{
    Q_OBJECT

private slots:
    // Every 59 minutes and 7 seconds through 2026 (rows at every hour of the day, both clock
    // changes, stretches of one offset ending within a day), and times in 1932 and 2068.
    void rowsReadBackAsLocalTime()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        Rows rows{{-1199192400, -3276, 0, -1, 1, 3276}};
        for (double key = 1767225600; key < 1798761600; key += 59 * 60 + 7)
            rows.append({key, double(rows.size() % 200 - 100), 1, 2, 3, 4});
        rows.append({3094168447, 1, 2, 3, 4, 5});
        QTemporaryDir dir;
        QVERIFY(saveRows(dir.filePath("year.csv"), rows));
        const QList<QByteArray> lines = contents(dir.filePath("year.csv")).split('\n');
        QCOMPARE(lines.first(), QByteArray("Zeit;TSA1;TSE;TW;TSV;TAM\r"));
        QCOMPARE(lines.size(), rows.size() + 2); // nothing after the last line end
        for (int i = 0; i < rows.size(); ++i) {
            QVERIFY2(lines[i + 1].endsWith('\r'), lines[i + 1].constData());
            const QList<QByteArray> fields = lines[i + 1].chopped(1).split(';');
            QCOMPARE(fields.size(), 6);
            const QDateTime local = QDateTime::fromSecsSinceEpoch(qint64(rows[i][0]));
            QCOMPARE(QString::fromLatin1(fields[0]), local.toString("yyyy-MM-dd HH:mm:ss"));
            for (int channel = 1; channel < 6; ++channel)
                QCOMPARE(fields[channel].toDouble(), rows[i][channel]);
        }
        QVERIFY(saveRows(dir.filePath("none.csv"), {})); // no record: the header alone
        QCOMPARE(contents(dir.filePath("none.csv")), lines.first() + '\n');
    }
};

QTEST_GUILESS_MAIN(TestCsvExport)
#include "tst_csvexport.moc"
