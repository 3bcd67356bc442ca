// SPDX-License-Identifier: GPL-3.0-or-later
#include "referencepath.h"

#include <QFile>
#include <QFileInfo>
#include <qcustomplot.h>

namespace {

const int kHeaderBytes = 433;
const int kRecordBytes = 41;
const int kChannelBytes[] = {4, 6, 8, 12, 14};
const double kSecondsTo2000 = 946681200.0;

quint32 littleEndian(const unsigned char *bytes, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

} // namespace

namespace ReferencePath {

void useStockGraphs(QCustomPlot *plot)
{
    const int count = plot->graphCount();
    for (int i = 0; i < count; ++i) {
        QCPGraph *old = plot->graph(0);
        auto *stock = new QCPGraph(old->keyAxis(), old->valueAxis());
        stock->setName(old->name());
        stock->setPen(old->pen());
        stock->setBrush(old->brush());
        stock->setLineStyle(old->lineStyle());
        stock->setData(old->data());
        plot->removeGraph(old);
    }
}

void openLogs(QCustomPlot *plot, const QStringList &fileNames)
{
    for (int channel = 0; channel < 5; ++channel)
        plot->graph(channel)->data()->clear();
    bool any = false;
    double first = 0;
    double last = 0;
    for (const QString &fileName : fileNames) {
        QFile file(fileName);
        if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
            continue;
        char header[kHeaderBytes];
        file.read(header, kHeaderBytes);
        unsigned char record[kRecordBytes];
        while (file.read(reinterpret_cast<char *>(record), kRecordBytes) == kRecordBytes) {
            const double key = double(qint32(littleEndian(record, 4))) + kSecondsTo2000;
            for (int channel = 0; channel < 5; ++channel) {
                const qint16 tenths = qint16(littleEndian(record + kChannelBytes[channel], 2));
                plot->graph(channel)->addData(key, double(qint16(tenths / 10)));
            }
            if (!any)
                first = key;
            any = true;
            last = key;
        }
    }
    if (any)
        plot->xAxis->setRange(first, last);
    plot->yAxis->setRange(-10, 100);
    plot->replot();
}

} // namespace ReferencePath
