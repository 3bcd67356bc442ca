#include "logs/logloader.h"

#include <QFile>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

// Records merged into the channels between two turns of the window: a few milliseconds, and
// still under a tenth of a second where the system is slow to give the pages they fill.
const qint64 kMergeStep = 1 << 17;
// Records sorted in a file whose records do not ascend between two turns: some tens of
// milliseconds.
const qint64 kSortChunk = 1 << 18;
const double kUnknownKey = std::numeric_limits<double>::infinity();
// Points the channels grow by just ahead of being written: their zeroing stays in the cache, and
// the points are then written in place.
const int kGrowth = 1 << 16;
// Packed records given back between two turns of the window: unmapping 64 MiB of written pages
// takes some milliseconds, the whole of a big load's most of a tenth of a second.
const size_t kReleaseSlice = size_t(64) << 20;
// Packed records fetched ahead of the merge, in records of the run on top.
const int kPrefetchAhead = 64;
// Room the channels keep beyond the records loaded, for records a log gains while it is
// followed: a month and a half of a record a minute, or ten minutes at a hundred a second. Address
// space only until they come; without it the first record added would copy every point.
const int kFollowRoom = 1 << 16;

// The key of the given record of an open log; kUnknownKey when it cannot be read.
double keyAt(QFile &log, qint64 record)
{
    char bytes[LogDecoder::kRecordSize];
    if (!log.seek(LogDecoder::kHeaderSize + record * LogDecoder::kRecordSize)
        || log.read(bytes, sizeof bytes) != qint64(sizeof bytes))
        return kUnknownKey;
    return LogDecoder::decodeRecord(bytes).key;
}

// Keys of the first and the last record the load reads from a file, read ahead of the load.
std::pair<double, double> edgeKeys(const QFileInfo &info, qint64 records)
{
    QFile log;
    if (!openRegularFile(log, info.filePath()))
        return {kUnknownKey, kUnknownKey};
    return {keyAt(log, 0), keyAt(log, records - 1)};
}

// End of the prefix of the sorted [from, to) for which inPrefix holds. Galloping: a short
// prefix costs a few steps, a long one a binary search.
template <typename T, typename Predicate>
const T *prefixEnd(const T *from, const T *to, Predicate inPrefix)
{
    ptrdiff_t step = 1;
    while (step <= to - from && inPrefix(from[step - 1])) {
        from += step;
        step *= 2;
    }
    return std::partition_point(from, from + qMin<ptrdiff_t>(step - 1, to - from), inPrefix);
}

} // namespace

// A FIFO that took a file's place after it was looked at would block in a plain open for ever.
// Reads block as usual again, so a slow file system is waited for rather than taken as failing.
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

// The rest of one ascending run of packed records; order is its place in read order, which
// decides between equal keys.
struct LogLoader::Run {
    const Packed *next;
    const Packed *end;
    quint32 order;
    File *file;

    // Where a record of this run goes in a stable merge, as one number: key, then read order.
    quint64 rank(const Packed &record) const
    {
        return quint64(quint32(record.stamp) ^ 0x80000000u) << 32 | order;
    }
};

// A run on the merge's heap, small so that the heap moves little.
struct LogLoader::Head {
    quint64 head; // rank of the run's next record
    Run *run;
};

namespace {

// Min-heap by head: moves the run at index down until neither child comes before it.
template <typename Head>
void siftDown(std::vector<Head> &heap, size_t index)
{
    const Head moving = heap[index];
    for (;;) {
        size_t child = 2 * index + 1;
        if (child >= heap.size())
            break;
        if (child + 1 < heap.size() && heap[child + 1].head < heap[child].head)
            ++child;
        if (moving.head <= heap[child].head)
            break;
        heap[index] = heap[child];
        index = child;
    }
    heap[index] = moving;
}

// The run whose head comes second: the lesser child of the top.
template <typename Head>
quint64 rivalHead(const std::vector<Head> &heap)
{
    if (heap.size() == 2)
        return heap[1].head;
    return qMin(heap[1].head, heap[2].head);
}

} // namespace

LogLoader::LogLoader(const QStringList &fileNames, qint64 recordLimit)
{
    std::vector<std::pair<double, double>> edges;
    for (const QString &fileName : fileNames) {
        File file;
        file.info = QFileInfo(fileName);
        if (file.info.isFile())
            file.records = LogDecoder::recordCount(file.info.size());
        file.planned = qMin(file.records, recordLimit - mPlannedRecords);
        file.begin = mPlannedRecords;
        mPlannedRecords += file.planned;
        if (file.planned > 0)
            edges.push_back(edgeKeys(file.info, file.planned));
        mFiles.append(file);
    }
    expectMerge(edges);
}

// Files that overlap in time, or whose last record lies before their first, are merged after
// reading: the bar gives that half of the load.
void LogLoader::expectMerge(const std::vector<std::pair<double, double>> &edges)
{
    double lastBefore = -std::numeric_limits<double>::infinity();
    for (const auto &edge : edges) {
        mMergeExpected = mMergeExpected || edge.first < lastBefore || edge.second < edge.first;
        lastBefore = edge.second;
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
    const qint64 bytesPerRecord = qint64(sizeof(Packed) + LogDecoder::kChannelCount * sizeof(QCPGraphData));
    return budget < 0 || mPlannedRecords <= budget / bytesPerRecord;
}

void LogLoader::reserve()
{
    // A mapping of its own, untouched until decoding writes it, and given back in slices.
    const long page = sysconf(_SC_PAGESIZE);
    mPackedBytes = (size_t(mPlannedRecords) * sizeof(Packed) + size_t(page) - 1) / size_t(page) * size_t(page);
    if (mPackedBytes > 0) {
        void *mapped = mmap(nullptr, mPackedBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) {
            mPackedBytes = 0;
            throw std::bad_alloc();
        }
        mPacked = static_cast<Packed *>(mapped);
    }
    for (QVector<QCPGraphData> &channel : mChannels)
        channel.reserve(int(mPlannedRecords) + kFollowRoom);
}

void LogLoader::readFile(int index, const std::function<void()> &afterBlock)
{
    File &file = mFiles[index];
    mReading = &file;
    mCountBefore = mCount;
    file.read = [&] {
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
}

double LogLoader::shareDone() const
{
    const qint64 work = mPlannedRecords * (mMergeExpected ? 2 : 1);
    if (work == 0)
        return 1;
    const qint64 read = mPlannedBefore + (mCount - mCountBefore);
    return qMin(1.0, double(read + mMerged) / double(work));
}

// A record goes to the channels while everything read ascends, and is packed for the merge
// where one is expected or the order broke; records shown are packed only when a merge that
// nobody expected needs them.
void LogLoader::append(const LogDecoder::LogRecord &record)
{
    File &file = *mReading;
    // Reads stop at the sizes taken at the start; this only guards the places.
    if (file.filled == file.planned)
        return;
    if (file.filled > 0 && record.key < mLastKey)
        file.ascending = false;
    mReadInOrder = mReadInOrder && (mShown == 0 || mPoints[0][mShown - 1].key <= record.key);
    if (mReadInOrder)
        show(record, file);
    if (!mReadInOrder || mMergeExpected) {
        Packed &packed = mPacked[file.begin + file.filled];
        packed.stamp = qint32(record.key - LogDecoder::kKeyOffset);
        for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel)
            packed.degrees[channel] = qint16(record.values[channel]);
    }
    if (mCount == 0)
        mFirstKey = record.key;
    mLastKey = record.key;
    ++file.filled;
    ++mCount;
}

void LogLoader::show(const LogDecoder::LogRecord &record, File &file)
{
    if (mShown == mChannels[0].size())
        growChannels();
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        QCPGraphData &point = mPoints[channel][mShown];
        point.key = record.key;
        point.value = record.values[channel];
    }
    ++mShown;
    ++file.shown;
}

// Grows by filling with copies of one point: resize() would call QCPGraphData's constructor,
// which is not inline, once for every point.
void LogLoader::growChannels()
{
    const QCPGraphData filler;
    const int growth = int(qMin<qint64>(kGrowth, mPlannedRecords - mShown));
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        QVector<QCPGraphData> &points = mChannels[channel];
        points.insert(points.end(), growth, filler);
        mPoints[channel] = points.data();
    }
}

void LogLoader::finish(const std::function<void()> &afterStep)
{
    if (!mReadInOrder && !mCancelled && packShown(afterStep) && sortFilesOutOfOrder(afterStep))
        mergeRuns(afterStep);
    releasePacked(afterStep);
    for (QVector<QCPGraphData> &channel : mChannels)
        channel.resize(int(mShown));
}

// Gives the packed records back from their end, a slice a step; with no step, all at once.
void LogLoader::releasePacked(const std::function<void()> &afterStep)
{
    while (mPackedBytes > 0) {
        const size_t slice = afterStep ? qMin(mPackedBytes, kReleaseSlice) : mPackedBytes;
        mPackedBytes -= slice;
        munmap(reinterpret_cast<char *>(mPacked) + mPackedBytes, slice);
        if (afterStep)
            afterStep();
    }
    mPacked = nullptr;
}

// Packs the records that went to the channels while reading, where that was not done at once;
// false when cancelled meanwhile.
bool LogLoader::packShown(const std::function<void()> &afterStep)
{
    if (mMergeExpected)
        return true;
    qint64 at = 0; // in the channels
    for (const File &file : qAsConst(mFiles)) {
        for (qint64 from = 0; from < file.shown; from += kMergeStep) {
            const qint64 until = qMin(file.shown, from + kMergeStep);
            for (qint64 record = from; record < until; ++record) {
                Packed &packed = mPacked[file.begin + record];
                packed.stamp = qint32(mPoints[0][at + record].key - LogDecoder::kKeyOffset);
                for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel)
                    packed.degrees[channel] = qint16(mPoints[channel][at + record].value);
            }
            afterStep();
            if (mCancelled)
                return false;
        }
        at += file.shown;
    }
    return true;
}

// Sorts each file whose records do not ascend in chunks, stably, each chunk then a run of the
// merge; false when cancelled meanwhile.
bool LogLoader::sortFilesOutOfOrder(const std::function<void()> &afterStep)
{
    const auto byKey = [](const Packed &a, const Packed &b) { return a.stamp < b.stamp; };
    for (const File &file : qAsConst(mFiles)) {
        if (file.ascending)
            continue;
        for (qint64 chunk = 0; chunk < file.filled; chunk += kSortChunk) {
            Packed *from = mPacked + file.begin + chunk;
            std::stable_sort(from, from + qMin(kSortChunk, file.filled - chunk), byKey);
            afterStep();
            if (mCancelled)
                return false;
        }
    }
    return true;
}

// One run per file that ascends, one per sorted chunk of the others, in read order.
std::vector<LogLoader::Run> LogLoader::runs()
{
    std::vector<Run> runs;
    for (File &file : mFiles) {
        const qint64 length = file.ascending ? file.filled : kSortChunk;
        for (qint64 from = 0; from < file.filled; from += length) {
            const Packed *begin = mPacked + file.begin + from;
            runs.push_back({begin, begin + qMin(length, file.filled - from), quint32(runs.size()), &file});
        }
    }
    return runs;
}

// The merge writes the same places again.
void LogLoader::clearChannels()
{
    mShown = 0;
    for (File &file : mFiles)
        file.shown = 0;
}

// The channels are written anew from the runs, merged on the packed keys once for all five
// channels; a cancel between two steps leaves them holding the merge's start.
void LogLoader::mergeRuns(const std::function<void()> &afterStep)
{
    std::vector<Run> all = runs();
    std::vector<Head> heap;
    for (Run &run : all)
        heap.push_back({run.rank(*run.next), &run});
    clearChannels();
    for (size_t index = heap.size() / 2; index-- > 0;)
        siftDown(heap, index);
    while (!heap.empty()) {
        mergeStep(heap);
        afterStep();
        if (mCancelled)
            return;
    }
}

// Moves up to kMergeStep records into the channels, in stretches that fit the points grown.
void LogLoader::mergeStep(std::vector<Head> &heap)
{
    qint64 room = kMergeStep;
    while (!heap.empty() && room > 0) {
        if (mShown == mChannels[0].size())
            growChannels();
        room -= mergeStretches(heap, qMin<qint64>(room, mChannels[0].size() - mShown));
    }
}

// Moves up to limit records into points already grown, always from the run on top of the heap,
// and returns how many. Where runs overlap little, whole stretches of a run go over at once.
// The loop writes through local pointers and counts: it runs once a record where runs
// alternate record by record.
qint64 LogLoader::mergeStretches(std::vector<Head> &heap, qint64 limit)
{
    QCPGraphData *points[LogDecoder::kChannelCount];
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel)
        points[channel] = mPoints[channel] + mShown;
    qint64 written = 0;
    while (!heap.empty() && written < limit) {
        Head &top = heap.front();
        Run &run = *top.run;
        // The run's next record comes first; where runs alternate record by record, as copies
        // of one log do, the one after it already does not.
        const Packed *until = run.next + 1;
        if (heap.size() == 1) {
            until = run.end;
        } else if (until != run.end) {
            const quint64 rival = rivalHead(heap);
            if (run.rank(*until) < rival)
                until = prefixEnd(until, run.end, [&](const Packed &record) { return run.rank(record) < rival; });
        }
        until = run.next + qMin<qint64>(until - run.next, limit - written);
        run.file->shown += until - run.next;
        // The runs' records were written long before: fetched ahead, they are in the cache
        // when their turn comes.
        __builtin_prefetch(until + qMin<ptrdiff_t>(kPrefetchAhead, run.end - until));
        for (; run.next != until; ++run.next, ++written) {
            const double key = double(run.next->stamp) + LogDecoder::kKeyOffset;
            for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
                points[channel][written].key = key;
                points[channel][written].value = double(run.next->degrees[channel]);
            }
        }
        if (run.next != run.end) {
            top.head = run.rank(*run.next);
        } else {
            top = heap.back();
            heap.pop_back();
        }
        if (!heap.empty())
            siftDown(heap, 0);
    }
    mShown += written;
    mMerged += written;
    return written;
}

LogLoader::~LogLoader()
{
    releasePacked({});
}

void LogLoader::discard()
{
    releasePacked({});
    for (QVector<QCPGraphData> &channel : mChannels)
        channel = QVector<QCPGraphData>();
    mCount = 0;
    mShown = 0;
}

LogLoader::FileRead LogLoader::outcome(int index) const
{
    const File &file = mFiles.at(index);
    if (file.read == FileRead::Whole && file.shown < file.filled)
        return FileRead::Cancelled;
    return file.read;
}

qint64 LogLoader::recordsTaken(int file) const
{
    return outcome(file) == FileRead::Cancelled ? mFiles.at(file).records : mFiles.at(file).filled;
}

double LogLoader::firstKey() const
{
    return mShown == mCount ? mFirstKey : mPoints[0][0].key;
}

double LogLoader::lastKey() const
{
    return mShown == mCount ? mLastKey : mPoints[0][mShown - 1].key;
}

QVector<QCPGraphData> LogLoader::takeChannel(int channel)
{
    QVector<QCPGraphData> points;
    points.swap(mChannels[channel]);
    return points;
}
