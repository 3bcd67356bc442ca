// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/chartexport.h"

#include "chart/chartreading.h"
#include "chart/chartreadout.h"
#include "chart/dailyvalues.h"
#include "chart/pngfile.h"
#include "logs/csvexport.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QVector>
#include <qcustomplot.h>

namespace ChartExport {

namespace {

enum class PictureFormat { Png, Jpeg, Pdf };

// The resolution the chart's pictures give, the one the library's own save functions give.
const double kDotsPerInch = 96;
const double kMetresPerInch = 0.0254;

PictureFormat formatOf(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("pdf"))
        return PictureFormat::Pdf;
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return PictureFormat::Jpeg;
    return PictureFormat::Png;
}

// The chart's own drawing into a file; the size and ranges are the chart's on screen, in as
// many pixels as the screen shows it with.
bool drawChart(QCustomPlot *plot, const QString &fileName, PictureFormat format)
{
    const double scale = plot->devicePixelRatioF();
    switch (format) {
    case PictureFormat::Pdf:
        return plot->savePdf(fileName);
    case PictureFormat::Jpeg:
        return plot->saveJpg(fileName, 0, 0, scale);
    case PictureFormat::Png:
        break;
    }
    QImage picture = plot->toPixmap(0, 0, scale).toImage();
    picture.setDotsPerMeterX(qRound(kDotsPerInch / kMetresPerInch));
    picture.setDotsPerMeterY(qRound(kDotsPerInch / kMetresPerInch));
    QFile file(fileName);
    return !picture.isNull() && file.open(QIODevice::WriteOnly) && PngFile::write(picture, file) && file.flush();
}

// Hides the read-out's layer, if the chart has one, for as long as it lives.
class ReadoutHidden
{
public:
    explicit ReadoutHidden(QCustomPlot *plot)
        : mLayer(plot->layer(ChartReadout::kLayerName))
        , mWasVisible(mLayer && mLayer->visible())
    {
        if (mLayer)
            mLayer->setVisible(false);
    }
    ~ReadoutHidden()
    {
        if (mLayer)
            mLayer->setVisible(mWasVisible);
    }
    ReadoutHidden(const ReadoutHidden &) = delete;
    ReadoutHidden &operator=(const ReadoutHidden &) = delete;

private:
    QCPLayer *mLayer;
    bool mWasVisible;
};

bool copyThroughSaveFile(const QString &from, const QString &to)
{
    QFile drawn(from);
    QSaveFile target(to);
    if (!drawn.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = drawn.readAll();
    return target.write(bytes) == bytes.size() && target.commit();
}

} // namespace

bool savePicture(QCustomPlot *plot, const QString &fileName)
{
    // The library writes straight to the name it is given; it draws into a private folder first,
    // and only a complete picture goes on to the target.
    QTemporaryDir drawing;
    if (!drawing.isValid())
        return false;
    const PictureFormat format = formatOf(fileName);
    const QString drawn = drawing.filePath(QStringLiteral("chart"));
    bool drawnOk = false;
    {
        const ReadoutHidden hidden(plot);
        drawnOk = drawChart(plot, drawn, format);
    }
    return drawnOk && copyThroughSaveFile(drawn, fileName);
}

bool saveRecords(QCustomPlot *plot, const QString &fileName)
{
    const ChartReading::RecordSpan span = ChartReading::recordsInView(plot);
    QVector<QCPGraphDataContainer::const_iterator> firsts;
    for (int graph = 0; graph < plot->graphCount(); ++graph)
        firsts.append(plot->graph(graph)->data()->constBegin() + span.first);
    return CsvExport::save(fileName, ChartReading::channelNames(plot), span.count,
                           [&firsts](qint64 index, double &key, double *values) {
                               key = firsts[0][index].key;
                               for (int graph = 0; graph < firsts.size(); ++graph)
                                   values[graph] = firsts[graph][index].value;
                           });
}

bool saveDays(const QCustomPlot *plot, const QString &fileName)
{
    const ChartReading::RecordSpan span = ChartReading::recordsInView(plot);
    const DailyValues days(DailyValues::channelsOf(plot), span.first, span.first + span.count);
    return days.saveCsv(fileName, ChartReading::channelNames(plot));
}

} // namespace ChartExport
