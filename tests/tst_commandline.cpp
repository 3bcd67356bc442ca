// SPDX-License-Identifier: GPL-3.0-or-later
// The built program run as a shell or cron runs it: each option, wrong options with their status
// and words, unreadable logs and outputs that cannot be written, no display at all, and the
// picture against what the window's "Bild speichern..." writes at the same size and range.
#include "logbuilder.h"
#include "mainwindow.h"
#include "opendialog.h"

#include <QProcess>
#include <QtTest>
#include <qcustomplot.h>

const QString kUsage = "Aufruf: velkarn-oriq [Optionen] [Logdateien...]\n";
// a.log: six records ten minutes apart from 12 February 2026, 12:00 in Berlin; b.log: an hour later.
const qint32 kFirstStamp = 824212800;
const QString kBlocker = "blocker"; // a regular file where a folder is named
// Old files whose temporary name beside them would be too long: they cannot be replaced.
const QString kOldPicture = QString(246, 'p') + ".png";
const QString kOldCsv = QString(246, 'c') + ".csv";

static QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The CSV of records first to last of a.log, then b.log.
static QByteArray rows(int first, int last)
{
    QByteArray csv = "Zeit;TSA1;TSE;TW;TSV;TAM\r\n";
    for (int i = first; i <= last; ++i) {
        csv += QDateTime(QDate(2026, 2, 12), QTime(12, 0)).addSecs(i * 600 + i / 6 * 3600).toString("yyyy-MM-dd HH:mm:ss").toLatin1();
        for (int channel = 0; channel < 5; ++channel)
            csv += ';' + QByteArray::number((-100 + 170 * (i % 6) + 10 * channel) / 10);
        csv += "\r\n";
    }
    return csv;
}

// The days CSV's header, then the given rows.
static QByteArray days(const QByteArray &rows)
{
    return "Tag;TSA1 Min;TSA1 Max;TSA1 Mittel;TSE Min;TSE Max;TSE Mittel;TW Min;TW Max;TW Mittel;TSV Min;TSV Max;"
           "TSV Mittel;TAM Min;TAM Max;TAM Mittel;Datensätze\r\n" + rows;
}

class TestCommandLine : public QObject
{
    Q_OBJECT
    QTemporaryDir mLogs;
    QTemporaryDir *mOut = nullptr;

    // Runs the program in the output folder; arguments ending in ".log" name files in the logs'.
    int run(QStringList arguments, QByteArray *out, QByteArray *err, bool withoutDisplay = false)
    {
        for (QString &argument : arguments) {
            if (argument.endsWith(".log"))
                argument = mLogs.filePath(argument);
        }
        QProcess program;
        program.setWorkingDirectory(mOut->path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
            environment.remove(withoutDisplay ? name : "");
        program.setProcessEnvironment(environment);
        program.start(PROGRAM, arguments);
        program.waitForFinished(60000);
        *out = program.readAllStandardOutput();
        *err = program.readAllStandardError();
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    }

private slots:
    void initTestCase()
    {
        QVector<LogBuilder::Record> a, b;
        for (int i = 0; i < 6; ++i) {
            a.append(LogBuilder::steppedRecord(kFirstStamp + i * 600, qint16(-100 + 170 * i)));
            b.append(LogBuilder::steppedRecord(kFirstStamp + 3600 + (i + 6) * 600, qint16(-100 + 170 * i)));
        }
        QVERIFY(LogBuilder::writeFile(mLogs.filePath("a.log"), LogBuilder::logBytes(a)));
        QVERIFY(LogBuilder::writeFile(mLogs.filePath("b.log"), LogBuilder::logBytes(b)));
    }
    void init()
    {
        mOut = new QTemporaryDir;
        for (const QString &name : {kBlocker, kOldPicture, kOldCsv})
            QVERIFY(LogBuilder::writeFile(mOut->filePath(name), "old"));
    }
    void cleanup() { delete mOut; }

    void answersAndWrites_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QString>("out");       // stdout starts with it
        QTest::addColumn<QStringList>("files"); // written; "name WxH" a picture of that size
        QTest::addColumn<QByteArray>("csv");    // r.csv's or d.csv's contents
        QTest::addColumn<bool>("withoutDisplay");
        auto row = [](const char *name, const QStringList &arguments, int status, const QString &err,
                      const QStringList &files = {}, const QByteArray &csv = {}, const QString &out = {}) {
            QTest::newRow(name) << arguments << status << err << out << files << csv << false;
        };
        const QString version = "velkarn-oriq 1.0.2\n";
        row("-v", {"-v"}, 0, "", {}, {}, version);
        row("--version", {"--version"}, 0, "", {}, {}, version);
        row("-h", {"-h"}, 0, "", {}, {}, kUsage);
        row("--help", {"--help", "a.log"}, 0, "", {}, {}, kUsage);
        row("picture, .png added", {"--picture", "c", "a.log"}, 0, "", {"c.png 1280x720"});
        row("JPEG of a size", {"--picture", "c.jpg", "--size", "300x100", "a.log"}, 0, "", {"c.jpg 300x100"});
        row("PDF", {"--picture", "c.pdf", "a.log"}, 0, "", {"c.pdf"});
        row("PDF compared with last week", {"--picture", "c.pdf", "--compare", "vorWOCHE", "a.log"}, 0, "", {"c.pdf"});
        row("CSV unchanged by a comparison", {"--csv", "r.csv", "--compare", "Vortag", "a.log"}, 0, "", {"r.csv"}, rows(0, 5));
        row("CSV of two logs, hidden channels kept", {"--csv", "r.csv", "--hide", "TSV,tam", "a.log", "b.log"}, 0, "",
            {"r.csv"}, rows(0, 11));
        row("ISO times", {"--csv", "r.csv", "--from", "2026-02-12 12:10", "--to", "2026-02-12T12:30:00", "a.log"}, 0, "",
            {"r.csv"}, rows(1, 3));
        row("German times, a date is midnight",
            {"--csv", "r.csv", "--from", "12.02.2026", "--to", "12.02.2026 12:20:00", "a.log", "b.log"}, 0, "", {"r.csv"},
            rows(0, 2));
        row("--from alone", {"--csv", "r.csv", "--from", "2026-02-12T14:30", "a.log", "b.log"}, 0, "", {"r.csv"}, rows(9, 11));
        row("logs named newest first, all of both", {"--csv", "r.csv", "b.log", "a.log"}, 0, "", {"r.csv"}, rows(0, 11));
        row("days of logs named newest first", {"--days", "d.csv", "b.log", "a.log"}, 0, "", {"d.csv"},
            days("2026-02-12;-10;75;32,5;-9;76;33,5;-8;77;34,5;-7;78;35,5;-6;79;36,5;12\r\n"));
        row("days of a range", {"--days", "d.csv", "--from", "2026-02-12 12:10", "--to", "2026-02-12T12:30:00", "a.log"},
            0, "", {"d.csv"}, days("2026-02-12;7;41;24,0;8;42;25,0;9;43;26,0;10;44;27,0;11;45;28,0;3\r\n"));
        row("unreadable log", {"--csv", "r.csv", "a.log", "gone.log"}, 2, "Nicht lesbar: gone.log\n", {"r.csv"}, rows(0, 5));
        row("picture into a file", {"--picture", kBlocker + "/c.png", "a.log"}, 1, "Nicht gespeichert: c.png\n");
        row("old picture kept", {"--picture", kOldPicture, "a.log"}, 1, "Nicht gespeichert: " + kOldPicture + "\n");
        row("old CSV kept", {"--csv", kOldCsv, "--picture", "c.png", "a.log"}, 1, "Nicht gespeichert: " + kOldCsv + "\n",
            {"c.png 1280x720"});
        QTest::newRow("no display") << QStringList{"--picture", "c.png", "--csv", "r.csv", "a.log"} << 0 << "" << ""
                                    << QStringList{"c.png 1280x720", "r.csv"} << rows(0, 5) << true;
        const QList<QPair<QStringList, QString>> wrong = {
            {{"--colour", "a.log"}, "Unbekannte Option: --colour"},
            {{"a.log", "--picture"}, "Wert fehlt: --picture"},
            {{"--picture", "c.png"}, "Keine Logdatei angegeben"},
            {{"--size", "200x200", "a.log"}, "--size, --from, --to und --hide nur mit --picture oder --csv"},
            {{"--picture", "c.png", "--size", "99x100", "a.log"}, "Ungültige Größe: 99x100 (je Seite 100 bis 10000 Pixel)"},
            {{"--picture", "c.png", "--size", "100x10001", "a.log"}, "Ungültige Größe: 100x10001 (je Seite 100 bis 10000 Pixel)"},
            {{"--picture", "c.png", "--size", "wide", "a.log"}, "Ungültige Größe: wide (je Seite 100 bis 10000 Pixel)"},
            {{"--csv", "r.csv", "--from", "30.02.2026", "a.log"}, "Ungültige Zeit: 30.02.2026"},
            {{"--csv", "r.csv", "--to", "2026-02-12 25:00", "a.log"}, "Ungültige Zeit: 2026-02-12 25:00"},
            {{"--csv", "r.csv", "--from", "2026-02-12 12:30", "--to", "12.02.2026 12:30:00", "a.log"},
             "--to liegt nicht nach --from"},
            {{"--picture", "c.png", "--hide", "TSV,TXX", "a.log"}, "Unbekannter Kanal: TXX"},
            {{"--picture", "c.png", "--compare", "Nichts", "a.log"}, "Unbekannter Vergleich: Nichts"},
            {{"--csv", "r.csv", "--compare", "gestern", "a.log"}, "Unbekannter Vergleich: gestern"},
        };
        for (const auto &wrongRow : wrong)
            row(qPrintable(wrongRow.first.join(' ')), wrongRow.first, 1, wrongRow.second + "\n" + kUsage);
    }
    void answersAndWrites()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, err);
        QFETCH(QString, out);
        QFETCH(QStringList, files);
        QFETCH(QByteArray, csv);
        QFETCH(bool, withoutDisplay);
        QByteArray printed, complaint;
        QCOMPARE(run(arguments, &printed, &complaint, withoutDisplay), status);
        QCOMPARE(QString::fromUtf8(complaint), err);
        QVERIFY2(printed.startsWith(out.toUtf8()) && (out == kUsage || printed.size() == out.toUtf8().size()), printed);
        for (const char *option : {"--picture <DATEI>", "--csv <DATEI>", "--days <DATEI>", "--size <BREITExHÖHE>",
                                   "--from <ZEIT>", "--to <ZEIT>", "--hide <NAMEN>", "--compare <ZEITRAUM>", "-h, --help",
                                   "-v, --version"})
            QVERIFY(out != kUsage || printed.contains(option));
        QStringList written = QDir(mOut->path()).entryList(QDir::Files, QDir::Name);
        for (const QString &old : {kBlocker, kOldPicture, kOldCsv}) {
            QCOMPARE(contents(mOut->filePath(old)), QByteArray("old"));
            written.removeOne(old);
        }
        QCOMPARE(written.size(), files.size());
        for (const QString &file : files) {
            const QString name = file.section(' ', 0, 0);
            const QByteArray bytes = contents(mOut->filePath(name));
            const QImage image = QImage::fromData(bytes);
            if (name.endsWith(".pdf"))
                QVERIFY(bytes.startsWith("%PDF-"));
            else if (file.contains(' '))
                QCOMPARE(QString("%1 %2x%3").arg(name).arg(image.width()).arg(image.height()), file);
            else
                QCOMPARE(bytes, csv);
        }
    }

    void pictureIsTheWindowsSavedPicture_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QDateTime>("from"); // null: the whole view
        QTest::addColumn<QDateTime>("to");
        QTest::addColumn<QString>("hidden");
        QTest::addColumn<QString>("compare"); // "--compare"'s word; the window chooses "Vortag"
        const QDate day(2026, 2, 12);
        QTest::newRow("whole view") << QSize(1280, 720) << QDateTime() << QDateTime() << "" << "";
        QTest::newRow("range, hidden channels") << QSize(400, 300) << QDateTime(day, QTime(12, 10))
                                                << QDateTime(day, QTime(14, 30)) << "TSE,TAM" << "";
        QTest::newRow("the next day compared with the day before")
            << QSize(600, 300) << QDateTime(day.addDays(1), QTime(11, 30)) << QDateTime(day.addDays(1), QTime(16, 0))
            << "TSE" << "vortag";
    }
    void pictureIsTheWindowsSavedPicture()
    {
        QFETCH(QSize, size);
        QFETCH(QDateTime, from);
        QFETCH(QDateTime, to);
        QFETCH(QString, hidden);
        QFETCH(QString, compare);
        QStringList options{"--picture", "line.png", "--size", QString("%1x%2").arg(size.width()).arg(size.height()),
                            "--hide", hidden, "a.log", "b.log"};
        if (from.isValid())
            options << "--from" << from.toString("yyyy-MM-dd HH:mm") << "--to" << to.toString("dd.MM.yyyy HH:mm:ss");
        if (!compare.isEmpty())
            options << "--compare" << compare;
        QByteArray out, err;
        QCOMPARE(run(options, &out, &err), 0);

        MainWindow window;
        auto *plot = window.findChild<QCustomPlot *>("customPlot");
        plot->setFixedSize(size);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.loadLogFiles({mLogs.filePath("a.log"), mLogs.filePath("b.log")});
        if (from.isValid())
            plot->xAxis->setRange(from.toSecsSinceEpoch(), to.toSecsSinceEpoch());
        if (!compare.isEmpty())
            window.findChild<QAction *>("actionCompareDay")->trigger();
        for (int graph = 0; graph < plot->graphCount(); ++graph) {
            if (hidden.split(',').contains(plot->graph(graph)->name()))
                QTest::mouseClick(plot, Qt::LeftButton, {},
                                  plot->legend->itemWithPlottable(plot->graph(graph))->rect().center());
        }
        QVERIFY(OpenDialog::answerDialog(&window, "actionSaveImage", [&](QFileDialog *dialog) {
                    dialog->setDirectory(mOut->path());
                    auto *edit = dialog->findChild<QLineEdit *>("fileNameEdit");
                    edit->setText("window.png");
                    QTest::keyClick(edit, Qt::Key_Return);
                }).seen);
        const QImage fromLine(mOut->filePath("line.png"));
        QCOMPARE(fromLine.size(), size);
        QCOMPARE(fromLine, QImage(mOut->filePath("window.png")));
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
