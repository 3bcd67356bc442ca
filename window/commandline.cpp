// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/commandline.h"

#include "chart/chartcontrols.h"
#include "chart/chartexport.h"
#include "mainwindow.h"
#include "window/statuswords.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <qcustomplot.h>

#include <cstdio>

namespace {

const char kProgramName[] = "velkarn-oriq";
const QString kFilesName = QStringLiteral("Logdateien");
const QString kUsage = QStringLiteral("Aufruf: %1 [Optionen] [%2...]").arg(QLatin1String(kProgramName), kFilesName);
const QSize kDefaultPictureSize(1280, 720);
const int kSmallestSide = 100;
const int kLargestSide = 10000;
const QString kFilesDescription = QStringLiteral("Die Logdateien, in dieser Reihenfolge geladen.");
const QString kPictureSuffix = QStringLiteral(".png");
// A bound given alone whose other side holds no record spans a day.
const double kLoneBoundSpanSeconds = 86400;
// Local times as users write them; a date alone is the start of its day.
const char *const kTimeFormats[] = {
    "yyyy-MM-dd",         "yyyy-MM-dd H:mm", "yyyy-MM-dd H:mm:ss", "yyyy-MM-dd'T'H:mm", "yyyy-MM-dd'T'H:mm:ss",
    "d.M.yyyy",           "d.M.yyyy H:mm",   "d.M.yyyy H:mm:ss",
};

// Arguments that ask for no window, known before the application object takes its own options
// out: ours are "--name", "-h" and "-v"; an unknown "--name" is a wrong option and shows none.
bool asksForNoWindow(int argc, char *argv[])
{
    for (int i = 1; i < argc && qstrcmp(argv[i], "--") != 0; ++i) {
        if (qstrncmp(argv[i], "--", 2) == 0 || qstrcmp(argv[i], "-h") == 0 || qstrcmp(argv[i], "-v") == 0)
            return true;
    }
    return false;
}

void printLine(FILE *stream, const QString &line)
{
    std::fprintf(stream, "%s\n", line.toUtf8().constData());
}

// A run without a window has no use for Qt's words about platforms and fonts; only the one that
// ends the program, such as a platform chosen that cannot start, is passed on.
void keepQuiet(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg)
        printLine(stderr, message);
}

// Seconds since 1970 UTC of a local time in one of the formats; NaN when none fits.
double keyOf(const QString &text)
{
    for (const char *format : kTimeFormats) {
        const QDateTime time = QDateTime::fromString(text.trimmed(), QLatin1String(format));
        if (time.isValid())
            return time.toMSecsSinceEpoch() / 1000.0;
    }
    return qQNaN();
}

QString optionText(const QString &name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

} // namespace

void CommandLine::prepare(int argc, char *argv[])
{
    if (!asksForNoWindow(argc, argv)) {
        // Sharp and of the usual size on high-density screens.
        QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
        QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
        return;
    }
    // A picture's size is in pixels and its texts are as large as on the usual desktop of 96 dpi,
    // whatever the screen or its lack.
    QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
    qunsetenv("QT_SCALE_FACTOR");
    const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (noDisplay && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(keepQuiet);
}

CommandLine::CommandLine(const QStringList &arguments)
    : mPicture(QStringLiteral("picture"),
               QStringLiteral("Schreibt das Diagramm als Bild, PNG, JPEG oder PDF nach der Endung (ohne Endung .png)."),
               QStringLiteral("DATEI"))
    , mCsv(QStringLiteral("csv"), QStringLiteral("Schreibt die Datensätze als CSV wie \"Daten exportieren...\"."),
           QStringLiteral("DATEI"))
    , mDays(QStringLiteral("days"),
            QStringLiteral("Schreibt die Tageswerte aller fünf Kanäle (Min, Max, Mittel, Datensätze je Tag) als CSV "
                           "wie \"Speichern...\" unter \"Tageswerte...\"."),
            QStringLiteral("DATEI"))
    , mSize(QStringLiteral("size"),
            QStringLiteral("Größe des Bildes in Pixeln (PDF: in Punkten), je Seite 100 bis 10000; Vorgabe 1280x720."),
            QStringLiteral("BREITExHÖHE"))
    , mFrom(QStringLiteral("from"),
            QStringLiteral("Beginn des Zeitbereichs von Bild, CSV und Tageswerten in Ortszeit: 2026-02-12, "
                           "2026-02-12 06:00, 2026-02-12T06:00:00, 12.02.2026 oder 12.02.2026 06:00:00; Vorgabe: ab "
                           "dem ersten Datensatz."),
            QStringLiteral("ZEIT"))
    , mTo(QStringLiteral("to"),
          QStringLiteral("Ende des Zeitbereichs, geschrieben wie bei --from; Vorgabe: bis zum letzten Datensatz."),
          QStringLiteral("ZEIT"))
    , mHide(QStringLiteral("hide"),
            QStringLiteral("Kanäle, die nicht gezeichnet werden, durch Kommas getrennt (TSV,TAM); die CSV behält alle "
                           "fünf Spalten."),
            QStringLiteral("NAMEN"))
    , mCompare(QStringLiteral("compare"),
               QStringLiteral("Zeichnet den früheren Zeitraum gestrichelt ins Bild wie \"Vergleichen mit\": Vortag, "
                              "Vorwoche oder Vorjahr; die CSV bleibt unverändert."),
               QStringLiteral("ZEITRAUM"))
    , mHelp(QStringList{QStringLiteral("h"), QStringLiteral("help")},
            QStringLiteral("Zeigt diese Hilfe und endet."))
    , mVersion(QStringList{QStringLiteral("v"), QStringLiteral("version")},
               QStringLiteral("Zeigt die Version und endet."))
{
    mParser.addOptions({mPicture, mCsv, mDays, mSize, mFrom, mTo, mHide, mCompare, mHelp, mVersion});
    mParser.addPositionalArgument(kFilesName, kFilesDescription, QStringLiteral("[%1...]").arg(kFilesName));
    if (!mParser.parse(arguments)) {
        const QStringList unknown = mParser.unknownOptionNames();
        mError = unknown.isEmpty() ? QStringLiteral("Wert fehlt: ") + arguments.last()
                                   : QStringLiteral("Unbekannte Option: ") + optionText(unknown.first());
    }
}

bool CommandLine::opensWindow() const
{
    return mError.isEmpty() && mParser.optionNames().isEmpty();
}

int CommandLine::run()
{
    if (mParser.isSet(mHelp)) {
        std::fputs(helpText().toUtf8().constData(), stdout);
        return 0;
    }
    if (mParser.isSet(mVersion)) {
        printLine(stdout, QStringLiteral("%1 %2").arg(QLatin1String(kProgramName), QStringLiteral(VIEWER_VERSION)));
        return 0;
    }
    if (!check())
        return 1;
    return writeOutputs();
}

// Everything the options say that can be judged before any file is read.
bool CommandLine::check()
{
    if (!mError.isEmpty())
        return fail(mError);
    if (!mParser.isSet(mPicture) && !mParser.isSet(mCsv) && !mParser.isSet(mDays))
        return fail(QStringLiteral("--size, --from, --to und --hide nur mit --picture oder --csv"));
    if (logFiles().isEmpty())
        return fail(QStringLiteral("Keine Logdatei angegeben"));
    return takeSize() && takeRange() && takeComparison();
}

bool CommandLine::takeSize()
{
    mPictureSize = kDefaultPictureSize;
    if (!mParser.isSet(mSize))
        return true;
    const QString text = mParser.value(mSize);
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$")).match(text);
    mPictureSize = QSize(match.captured(1).toInt(), match.captured(2).toInt());
    const bool inBounds = qMin(mPictureSize.width(), mPictureSize.height()) >= kSmallestSide
                          && qMax(mPictureSize.width(), mPictureSize.height()) <= kLargestSide;
    return inBounds || fail(QStringLiteral("Ungültige Größe: %1 (je Seite %2 bis %3 Pixel)")
                                .arg(text)
                                .arg(kSmallestSide)
                                .arg(kLargestSide));
}

bool CommandLine::takeRange()
{
    for (const auto &bound : {std::make_pair(&mFrom, &mFromKey), std::make_pair(&mTo, &mToKey)}) {
        if (!mParser.isSet(*bound.first))
            continue;
        *bound.second = keyOf(mParser.value(*bound.first));
        if (qIsNaN(*bound.second))
            return fail(QStringLiteral("Ungültige Zeit: ") + mParser.value(*bound.first));
    }
    if (mParser.isSet(mFrom) && mParser.isSet(mTo) && mToKey <= mFromKey)
        return fail(QStringLiteral("--to liegt nicht nach --from"));
    return true;
}

bool CommandLine::takeComparison()
{
    if (!mParser.isSet(mCompare))
        return true;
    mComparison = ChartComparison::periodNamed(mParser.value(mCompare));
    return mComparison != ChartComparison::Period::None
           || fail(QStringLiteral("Unbekannter Vergleich: ") + mParser.value(mCompare));
}

// Loads the files into a window that is never shown, gives its chart the picture's size and the
// range asked for, and writes each output as the window's save commands do.
int CommandLine::writeOutputs()
{
    MainWindow window;
    window.setDrawnAfterLoad(mParser.isSet(mPicture));
    auto *plot = window.findChild<QCustomPlot *>(QStringLiteral("customPlot"));
    auto *controls = plot->findChild<ChartControls *>();
    for (const QString &name : mParser.value(mHide).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        int graph = plot->graphCount() - 1;
        while (graph >= 0 && plot->graph(graph)->name().compare(name.trimmed(), Qt::CaseInsensitive) != 0)
            --graph;
        if (graph < 0) {
            fail(QStringLiteral("Unbekannter Kanal: ") + name.trimmed());
            return 1;
        }
        controls->setChannelShown(graph, false);
    }

    const QString problems = window.loadLogFiles(logFiles());
    plot->xAxis->setRange(timeRange(recordKeys(plot)));
    plot->resize(mPictureSize);
    ChartComparison::of(plot)->setPeriod(mComparison);

    int status = problems.isEmpty() ? 0 : 2;
    if (!problems.isEmpty())
        printLine(stderr, problems);
    if (mParser.isSet(mPicture)) {
        QString fileName = mParser.value(mPicture);
        if (QFileInfo(fileName).suffix().isEmpty())
            fileName += kPictureSuffix;
        if (!ChartExport::savePicture(plot, fileName)) {
            printLine(stderr, StatusWords::notSaved(fileName));
            status = 1;
        }
    }
    if (mParser.isSet(mCsv) && !ChartExport::saveRecords(plot, mParser.value(mCsv))) {
        printLine(stderr, StatusWords::notSaved(mParser.value(mCsv)));
        status = 1;
    }
    if (mParser.isSet(mDays) && !ChartExport::saveDays(plot, mParser.value(mDays))) {
        printLine(stderr, StatusWords::notSaved(mParser.value(mDays)));
        status = 1;
    }
    return status;
}

// From the earliest record to the latest, whatever order the logs were named in: the window
// fits its time axis to the first and the last record read.
QCPRange CommandLine::recordKeys(const QCustomPlot *plot)
{
    const QSharedPointer<QCPGraphDataContainer> keys = plot->graph(0)->data();
    if (keys->isEmpty())
        return plot->xAxis->range();
    return QCPRange(keys->constBegin()->key, (keys->constEnd() - 1)->key);
}

// The range asked for; a bound not given is that of the whole view.
QCPRange CommandLine::timeRange(const QCPRange &whole) const
{
    const bool from = mParser.isSet(mFrom);
    double lower = from ? mFromKey : whole.lower;
    double upper = mParser.isSet(mTo) ? mToKey : whole.upper;
    if (upper <= lower) {
        // One bound given, and no record beyond it.
        if (from)
            upper = lower + kLoneBoundSpanSeconds;
        else
            lower = upper - kLoneBoundSpanSeconds;
    }
    return QCPRange(lower, upper);
}

// Names what is wrong with the options, then how the program is called.
bool CommandLine::fail(const QString &what)
{
    printLine(stderr, what);
    printLine(stderr, kUsage);
    return false;
}

QString CommandLine::helpText() const
{
    QStringList names;
    QStringList descriptions;
    for (const QCommandLineOption &option : {mPicture, mCsv, mDays, mSize, mFrom, mTo, mHide, mCompare, mHelp, mVersion}) {
        QStringList spelled;
        for (const QString &name : option.names())
            spelled.append(optionText(name));
        const QString value = option.valueName().isEmpty() ? QString() : QStringLiteral(" <%1>").arg(option.valueName());
        names.append(spelled.join(QStringLiteral(", ")) + value);
        descriptions.append(option.description());
    }
    int width = 0;
    for (const QString &name : names)
        width = qMax(width, name.size());
    QString text = kUsage + QStringLiteral("\nZeigt die Temperaturen von Logdateien im Fenster; mit --picture, --csv oder "
                                           "--days schreibt es Bild oder Tabellen ohne Fenster und endet.\n\n"
                                           "Optionen:\n");
    for (int i = 0; i < names.size(); ++i)
        text += QStringLiteral("  %1  %2\n").arg(names[i], -width).arg(descriptions[i]);
    return text + QStringLiteral("\nArgumente:\n  %1  %2\n").arg(kFilesName, -width).arg(kFilesDescription);
}
