// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the loader. The input is a stream of records and a plan that cuts it into
// one to four log files: each a stretch of the stream, which may overlap the others, come out of
// time order or end in a partial record. The files are loaded as the window loads them, at one
// thread and at four, in steps of a few records so that the steps' seams fall everywhere; the
// points must be a stable sort by time of every whole record of the files in the order chosen,
// and the summaries built while they were written must answer as a scan of them does.
#include "graph/minmaxsummary.h"
#include "logs/logloader.h"
#include "logreference.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

using LogBuilder::kHeaderSize;
using LogBuilder::kRecordSize;

const int kMostFiles = 4;
// The plan: a byte for the number of files and the grain, then for each file where its stretch
// starts (in records) and how many bytes it holds, two bytes each.
const int kPlanBytes = 1 + kMostFiles * 4;
const int kMostGrain = 16;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

int twoBytesAt(const uint8_t *at)
{
    return at[0] | at[1] << 8;
}

// Summaries built as the window builds them while a load writes its points.
LogLoader::WhileShowing summarising(std::vector<MinMaxSummary> &summaries, std::vector<qint64> &counts)
{
    LogLoader::WhileShowing whileShowing;
    whileShowing.room = [&summaries](int channel, qint64 from, qint64 end) {
        summaries[size_t(channel)].makeRoom(int(from), int(end));
    };
    whileShowing.written = [&summaries](int channel, const QCPGraphData *points, qint64 from, qint64 to) {
        require(!summaries[size_t(channel)].fill(points, int(from), int(to)));
    };
    whileShowing.shown = [&summaries, &counts](int channel, const QCPGraphData *points, qint64 from, qint64 count) {
        summaries[size_t(channel)].extendFilled(points, int(from), int(count), false);
        counts[size_t(channel)] = count;
    };
    return whileShowing;
}

// The summary's extremes and sum of points[from, to) are a scan's.
void requireScanned(const MinMaxSummary &summary, const QVector<QCPGraphData> &points, int from, int to)
{
    double low = points[from].value, high = low, sum = 0;
    for (int i = from; i < to; ++i) {
        low = std::min(low, points[i].value);
        high = std::max(high, points[i].value);
        sum += points[i].value;
    }
    const QCPRange range = summary.valueRange(points.constData(), from, to);
    require(range.lower == low && range.upper == high && summary.valueSum(points.constData(), from, to) == sum);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < size_t(kPlanBytes))
        return 0;
    static QTemporaryDir folder;
    const QByteArray stream(reinterpret_cast<const char *>(data) + kPlanBytes, int(size) - kPlanBytes);
    const int files = 1 + data[0] % kMostFiles;
    QStringList names;
    QVector<LogReference::Point> expected;
    for (int f = 0; f < files; ++f) {
        const uint8_t *plan = data + 1 + f * 4;
        const int start = std::min(stream.size(), twoBytesAt(plan) % (stream.size() / kRecordSize + 1) * kRecordSize);
        const QByteArray log = QByteArray(kHeaderSize, '\0') + stream.mid(start, twoBytesAt(plan + 2));
        names.append(folder.filePath(QStringLiteral("%1.log").arg(f)));
        QFile file(names.last());
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(log) == log.size());
        expected += LogReference::points(log);
    }
    std::stable_sort(expected.begin(), expected.end(),
                     [](const LogReference::Point &a, const LogReference::Point &b) { return a.key < b.key; });

    const qint64 grain = 1 + (data[0] / kMostFiles) % kMostGrain;
    for (int threads : {1, 4}) {
        QThreadPool::globalInstance()->setMaxThreadCount(threads);
        LogLoader loader(names, std::numeric_limits<qint64>::max());
        loader.setGrain(grain);
        std::vector<MinMaxSummary> summaries(LogDecoder::kChannelCount);
        std::vector<qint64> counts(LogDecoder::kChannelCount);
        loader.setWhileShowing(summarising(summaries, counts));
        require(loader.fits(-1));
        loader.reserve();
        for (int f = 0; f < files; ++f)
            loader.readFile(f, [] {});
        loader.finish([] {});
        require(loader.recordCount() == expected.size());
        for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
            const QVector<QCPGraphData> points = loader.takeChannel(channel);
            require(points.size() == expected.size());
            for (int i = 0; i < points.size(); ++i)
                require(points[i].key == expected[i].key && points[i].value == expected[i].values[size_t(channel)]);
            require(counts[size_t(channel)] == points.size());
            for (int from : {0, points.size() / 3}) {
                if (from < points.size())
                    requireScanned(summaries[size_t(channel)], points, from, points.size());
            }
        }
        for (int f = 0; f < files; ++f)
            require(loader.outcome(f) == LogLoader::FileRead::Whole);
    }
    return 0;
}
