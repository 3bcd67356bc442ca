// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CHARTEXPORT_H
#define CHARTEXPORT_H

// The chart as it stands, out of the viewer: as a picture, or its records as a table. Both
// write through a temporary file beside the target that replaces it only when complete, so a
// failure leaves whatever was there as it was.

#include <QString>

class QCustomPlot;

namespace ChartExport {

// Saves the chart at its size on screen, with its ranges and hidden graphs but without the
// cursor's read-out, as PDF (vectors) for a name ending in ".pdf", JPEG for ".jpg" or ".jpeg",
// PNG otherwise.
bool savePicture(QCustomPlot *plot, const QString &fileName);

// Saves, as CSV, every record whose key lies within the time axis's range, in the graphs'
// order, with the values of every graph, shown or hidden. The graphs hold one point per record,
// each at the same index.
bool saveRecords(QCustomPlot *plot, const QString &fileName);

// Saves, as CSV, every graph's lowest, highest and mean value of each local day, from the day of
// the first record whose key lies within the time axis's range to the day of the last, counting
// only those records.
bool saveDays(const QCustomPlot *plot, const QString &fileName);

} // namespace ChartExport

#endif // CHARTEXPORT_H
