// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef IMAGECOMPARE_H
#define IMAGECOMPARE_H

// Compares two drawings of a chart as a user would see them side by side.

#include <QImage>

#include <algorithm>

namespace ImageCompare {

// A pixel differs when one of its channels is off by more than kChannelSlack; two drawings
// match when at most kDifferingShare of their pixels differ. The lines of the envelope graph
// are alike to the pixel; its fill differs where the stock drawing leaves thin uncovered
// slivers in dense columns (light, so mostly within the slack) and where duplicate keys make
// spikes, whose columns it fills up to the spike.
const int kChannelSlack = 64;
const double kDifferingShare = 0.005;

inline double differingShare(const QImage &a, const QImage &b, int slack = kChannelSlack)
{
    const QImage first = a.convertToFormat(QImage::Format_RGB32);
    const QImage second = b.convertToFormat(QImage::Format_RGB32);
    if (first.size() != second.size())
        return 1;
    int differing = 0;
    for (int y = 0; y < first.height(); ++y) {
        const QRgb *rowA = reinterpret_cast<const QRgb *>(first.constScanLine(y));
        const QRgb *rowB = reinterpret_cast<const QRgb *>(second.constScanLine(y));
        for (int x = 0; x < first.width(); ++x) {
            const int off = std::max({qAbs(qRed(rowA[x]) - qRed(rowB[x])), qAbs(qGreen(rowA[x]) - qGreen(rowB[x])),
                                      qAbs(qBlue(rowA[x]) - qBlue(rowB[x]))});
            differing += off > slack;
        }
    }
    return double(differing) / (first.width() * first.height());
}

} // namespace ImageCompare

#endif // IMAGECOMPARE_H
