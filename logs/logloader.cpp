#include "logs/logloader.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

// The five channels' points, and one channel more while runs out of order are merged.
const qint64 kBytesPerRecord = (LogDecoder::kChannelCount + 1) * qint64(sizeof(QCPGraphData));
// Points made ready at a time: 64 MiB, some tens of milliseconds, between two turns of the window.
const int kAllocationSlice = 1 << 22;

// Opens the file at path for reading if it is a regular file at the moment it is opened. A FIFO
// that took a file's place after it was looked at would block in a plain open for ever. Reads
// block as usual again, so a slow file system is waited for rather than taken as failing.
bool openRegularFile(QFile &file, const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)
        || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

bool keyLess(const QCPGraphData &a, const QCPGraphData &b)
{
    return a.key < b.key;
}

// The rest of one ascending run; order is its place in read order, which decides between
// equal keys.
struct Run {
    const QCPGraphData *next;
    const QCPGraphData *end;
    int order;
};

// Heap order: the run whose next point a stable sort puts first is on top.
bool comesLater(const Run &a, const Run &b)
{
    return a.next->key > b.next->key || (a.next->key == b.next->key && a.order > b.order);
}

// End of the prefix of the sorted [from, to) for which inPrefix holds. Galloping: a short
// prefix costs a few steps, a long one a binary search.
template <typename Predicate>
const QCPGraphData *prefixEnd(const QCPGraphData *from, const QCPGraphData *to, Predicate inPrefix)
{
    ptrdiff_t step = 1;
    while (step <= to - from && inPrefix(from[step - 1])) {
        from += step;
        step *= 2;
    }
    return std::partition_point(from, from + qMin<ptrdiff_t>(step - 1, to - from), inPrefix);
}

// Writes the points of the runs, merged stably, to out. Where runs overlap little, whole
// stretches of a run go over at once.
void mergeInto(std::vector<Run> heap, QCPGraphData *out)
{
    std::make_heap(heap.begin(), heap.end(), comesLater);
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), comesLater);
        Run &run = heap.back();
        const QCPGraphData *until = run.end;
        if (heap.size() > 1) {
            const Run &rival = heap.front();
            until = prefixEnd(run.next, run.end, [&](const QCPGraphData &point) {
                return point.key < rival.next->key || (point.key == rival.next->key && run.order < rival.order);
            });
        }
        out = std::copy(run.next, until, out);
        run.next = until;
        if (run.next == run.end)
            heap.pop_back();
        else
            std::push_heap(heap.begin(), heap.end(), comesLater);
    }
}

// The key of the file's first record, read ahead of the load; infinity when there is none.
double firstKeyOf(const QFileInfo &info)
{
    QFile log;
    char record[LogDecoder::kRecordSize];
    if (!openRegularFile(log, info.filePath()) || !log.seek(LogDecoder::kHeaderSize)
        || log.read(record, sizeof record) != qint64(sizeof record))
        return std::numeric_limits<double>::infinity();
    return LogDecoder::decodeRecord(record).key;
}

} // namespace

LogLoader::LogLoader(const QStringList &fileNames, qint64 recordLimit)
{
    for (const QString &fileName : fileNames) {
        File file;
        file.info = QFileInfo(fileName);
        if (file.info.isFile())
            file.records = LogDecoder::recordCount(file.info.size());
        file.planned = qMin(file.records, recordLimit - mPlannedRecords);
        mPlannedRecords += file.planned;
        if (file.planned > 0)
            file.firstKey = firstKeyOf(file.info);
        mFiles.append(file);
    }
    layOutRegions();
}

// Regions in the order of the files' first keys, files of equal first keys in read order.
void LogLoader::layOutRegions()
{
    mLayout.resize(size_t(mFiles.size()));
    std::iota(mLayout.begin(), mLayout.end(), 0);
    std::stable_sort(mLayout.begin(), mLayout.end(),
                     [this](int a, int b) { return mFiles[a].firstKey < mFiles[b].firstKey; });
    qint64 offset = 0;
    for (int index : mLayout) {
        mFiles[index].offset = offset;
        offset += mFiles[index].planned;
    }
}

QStringList LogLoader::fileNames() const
{
    QStringList names;
    for (const File &file : mFiles)
        names.append(file.info.fileName());
    return names;
}

bool LogLoader::fits(qint64 budget) const
{
    return budget < 0 || mPlannedRecords <= budget / kBytesPerRecord;
}

// The channels are sized for every record expected, so that decoding writes each point in place
// instead of appending it. The memory is taken at once but touched in slices: zeroing gigabytes
// takes seconds, in which the window must still repaint.
void LogLoader::allocate(const std::function<void()> &afterSlice)
{
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        QVector<QCPGraphData> &points = mChannels[channel];
        points.reserve(int(mPlannedRecords));
        while (points.size() < mPlannedRecords) {
            points.resize(int(qMin<qint64>(points.size() + kAllocationSlice, mPlannedRecords)));
            afterSlice();
        }
        mPoints[channel] = points.data();
    }
}

LogLoader::FileRead LogLoader::readFile(int index, const std::function<void()> &afterBlock)
{
    File &file = mFiles[index];
    mReading = &file;
    mCountBefore = mCount;
    const FileRead result = [&] {
        if (mCancelled)
            return FileRead::Cancelled;
        // Anything but a regular file may block in open or never end.
        if (!file.info.isFile())
            return FileRead::Failed;
        QFile log;
        if (!openRegularFile(log, file.info.filePath()))
            return FileRead::Failed;
        if (file.records == 0)
            return FileRead::Whole;
        if (!log.seek(LogDecoder::kHeaderSize))
            return FileRead::Failed;
        const qint64 read = LogDecoder::readRecords(
            log, file.planned, [this](const LogDecoder::LogRecord &record) { append(record); },
            [&] {
                afterBlock();
                return !mCancelled;
            });
        if (read == file.records)
            return FileRead::Whole;
        return mCancelled ? FileRead::Cancelled : FileRead::Failed;
    }();
    mReading = nullptr;
    mPlannedBefore += file.planned;
    mCountBefore = mCount;
    return result;
}

double LogLoader::shareRead() const
{
    if (mPlannedRecords == 0)
        return 1;
    return double(mPlannedBefore + (mCount - mCountBefore)) / double(mPlannedRecords);
}

void LogLoader::append(const LogDecoder::LogRecord &record)
{
    File &file = *mReading;
    // Reads stop at the sizes taken when the regions were made; this only guards them.
    if (file.filled == file.planned)
        return;
    const qint64 at = file.offset + file.filled;
    if (file.filled > 0 && record.key < mPoints[0][at - 1].key)
        file.ascending = false;
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        QCPGraphData &point = mPoints[channel][at];
        point.key = record.key;
        point.value = record.values[channel];
    }
    if (mCount == 0)
        mFirstKey = record.key;
    mLastKey = record.key;
    ++file.filled;
    ++mCount;
}

void LogLoader::finish(const std::function<void()> &afterStep)
{
    closeGaps();
    sortFilesOutOfOrder(afterStep);
    mergeRuns(afterStep);
}

// Moves the regions together over the places of records that were expected but not read, and
// gives those places back.
void LogLoader::closeGaps()
{
    qint64 to = 0;
    for (int index : mLayout) {
        File &file = mFiles[index];
        if (file.offset != to) {
            for (QCPGraphData *points : mPoints)
                std::memmove(points + to, points + file.offset, size_t(file.filled) * sizeof(QCPGraphData));
            file.offset = to;
        }
        to += file.filled;
    }
    if (mCount == mPlannedRecords)
        return;
    for (QVector<QCPGraphData> &channel : mChannels) {
        channel.resize(int(mCount));
        channel.squeeze();
    }
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel)
        mPoints[channel] = mChannels[channel].data();
}

// Sorts each file whose records do not ascend on their own; a stable sort keeps points of equal
// keys in read order.
void LogLoader::sortFilesOutOfOrder(const std::function<void()> &afterStep)
{
    for (File &file : mFiles) {
        if (file.ascending)
            continue;
        for (QCPGraphData *points : mPoints) {
            std::stable_sort(points + file.offset, points + file.offset + file.filled, keyLess);
            afterStep();
        }
        file.ascending = true;
    }
}

// Every channel holds the same keys, so each is merged along the same runs, one per file; the
// merged channel lands in a spare, and the channel's old storage is the spare of the next.
void LogLoader::mergeRuns(const std::function<void()> &afterStep)
{
    std::vector<const File *> runs;
    bool inOrder = true;
    for (int index : mLayout) {
        const File &file = mFiles[index];
        if (file.filled == 0)
            continue;
        if (!runs.empty()) {
            const double lastBefore = mPoints[0][file.offset - 1].key;
            const double first = mPoints[0][file.offset].key;
            const bool laterRead = &file > runs.back();
            inOrder = inOrder && (lastBefore < first || (lastBefore == first && laterRead));
        }
        runs.push_back(&file);
    }
    if (inOrder)
        return;
    QVector<QCPGraphData> spare(int(mCount), QCPGraphData{});
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        std::vector<Run> heap;
        for (const File *file : runs) {
            const QCPGraphData *begin = mPoints[channel] + file->offset;
            heap.push_back({begin, begin + file->filled, int(file - mFiles.constData())});
        }
        mergeInto(std::move(heap), spare.data());
        mChannels[channel].swap(spare);
        mPoints[channel] = mChannels[channel].data();
        afterStep();
    }
}

void LogLoader::discard()
{
    for (QVector<QCPGraphData> &channel : mChannels)
        channel = QVector<QCPGraphData>();
    mCount = 0;
}

QVector<QCPGraphData> LogLoader::takeChannel(int channel)
{
    QVector<QCPGraphData> points;
    points.swap(mChannels[channel]);
    return points;
}
