#include "logloader.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

// The five channels' points, and one channel more while runs out of order are merged.
const qint64 kBytesPerRecord = (LogDecoder::kChannelCount + 1) * qint64(sizeof(QCPGraphData));
// Up to this many ascending runs are merged; more, as in a file of shuffled records, are sorted.
const size_t kMostRuns = 1024;

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
    size_t order;
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

// Writes the points of the runs starting at starts, merged stably, to out. Runs that do not
// overlap, as files chosen in any order, go over in one piece each.
void mergeInto(const QCPGraphData *points, qint64 count, const std::vector<qint64> &starts, QCPGraphData *out)
{
    std::vector<Run> heap;
    for (size_t i = 0; i < starts.size(); ++i)
        heap.push_back({points + starts[i], points + (i + 1 < starts.size() ? starts[i + 1] : count), i});
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

} // namespace

LogLoader::LogLoader(const QStringList &fileNames, qint64 recordLimit)
    : mRecordLimit(recordLimit)
{
    for (const QString &fileName : fileNames) {
        File file{QFileInfo(fileName), 0, 0};
        if (file.info.isFile())
            file.records = LogDecoder::recordCount(file.info.size());
        file.planned = qMin(file.records, mRecordLimit - mPlannedRecords);
        mPlannedRecords += file.planned;
        mFiles.append(file);
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
// instead of appending it.
void LogLoader::allocate()
{
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        // Filled by copies of one point: resizing would call the library's constructor for
        // every point.
        mChannels[channel] = QVector<QCPGraphData>(int(mPlannedRecords), QCPGraphData());
        mNext[channel] = mChannels[channel].data();
    }
    mCapacity = mPlannedRecords;
    mRunStarts.assign(1, 0);
}

LogLoader::FileRead LogLoader::readFile(int index, const std::function<void()> &afterBlock)
{
    const File &file = mFiles.at(index);
    mCountBefore = mCount;
    const FileRead result = [&] {
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
        const qint64 wanted = qMin(file.records, mRecordLimit - mCount);
        const qint64 read = LogDecoder::readRecords(
            log, wanted, [this](const LogDecoder::LogRecord &record) { append(record); },
            [&] {
                afterBlock();
                return !mCancelled;
            });
        if (read == file.records)
            return FileRead::Whole;
        return mCancelled ? FileRead::Cancelled : FileRead::Failed;
    }();
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
    // Reads stop at the sizes taken when the places were made; this only guards them.
    if (mCount == mCapacity)
        return;
    if (record.key < mLastKey && mRunStarts.size() <= kMostRuns)
        mRunStarts.push_back(mCount);
    mLastKey = record.key;
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        QCPGraphData &point = mNext[channel][mCount];
        point.key = record.key;
        point.value = record.values[channel];
    }
    ++mCount;
}

void LogLoader::finish()
{
    trim();
    if (mCount > 0)
        mFirstKey = mChannels[0].first().key;
    if (mRunStarts.size() <= 1)
        return;
    if (mRunStarts.size() > kMostRuns) {
        // A stable sort keeps points of equal keys in read order.
        for (QVector<QCPGraphData> &channel : mChannels)
            std::stable_sort(channel.begin(), channel.end(), keyLess);
        return;
    }
    mergeRuns();
}

// Gives back the places of records that were expected but not read.
void LogLoader::trim()
{
    if (mCount == mCapacity)
        return;
    for (QVector<QCPGraphData> &channel : mChannels) {
        channel.resize(int(mCount));
        channel.squeeze();
    }
}

// Every channel holds the same keys, so each is merged along the same runs; the merged channel
// lands in a spare, and the channel's old storage is the spare of the next.
void LogLoader::mergeRuns()
{
    QVector<QCPGraphData> spare(int(mCount), QCPGraphData{});
    for (QVector<QCPGraphData> &channel : mChannels) {
        mergeInto(channel.constData(), mCount, mRunStarts, spare.data());
        channel.swap(spare);
    }
}

void LogLoader::discard()
{
    for (QVector<QCPGraphData> &channel : mChannels)
        channel = QVector<QCPGraphData>();
    mCount = 0;
    mCapacity = 0;
}

QVector<QCPGraphData> LogLoader::takeChannel(int channel)
{
    QVector<QCPGraphData> points;
    points.swap(mChannels[channel]);
    return points;
}
