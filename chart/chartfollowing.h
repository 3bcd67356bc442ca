// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CHARTFOLLOWING_H
#define CHARTFOLLOWING_H

#include "logs/logdecoder.h"

#include <QVector>

class ChartControls;
class QCustomPlot;

// What the chart does with records that came after a load: they join every graph as a load
// would have ordered them, the home view reaches the newest, and a view that showed the newest
// record scrolls with it, its span kept, like a strip chart; any other view stays where it is.
// Selections, hidden channels and markers stay.
namespace ChartFollowing {

void addRecords(QCustomPlot *plot, ChartControls *controls, QVector<LogDecoder::LogRecord> records);

} // namespace ChartFollowing

#endif // CHARTFOLLOWING_H
