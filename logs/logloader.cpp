// SPDX-License-Identifier: GPL-3.0-or-later
#include "logs/logloader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThreadPool>

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace {

// Records merged into the channels between two turns of the window, a thread: a few
// milliseconds, and still under a tenth of a second where the system is slow to give the pages
// they fill.
const qint64 kMergeStep = 1 << 17;
// Records sorted in a file whose records do not ascend between two turns: some tens of
// milliseconds.
const qint64 kSortChunk = 1 << 18;
const double kUnknownKey = std::numeric_limits<double>::infinity();
// Packed records given back between two turns of the window: unmapping 64 MiB of written pages
// takes some milliseconds, the whole of a big load's most of a tenth of a second.
const size_t kReleaseSlice = size_t(64) << 20;
// Blocks of reading a thread takes in a round where threads share it: 4 MiB of records, over
// 1.5 MiB of each channel's points, some milliseconds.
const int kBlocksPerThread = 4;
// A round that took less grows twice as large, one that took more half as large: a block takes
// some milliseconds from the page cache and about 40 from a USB 2.0 stick.
const qint64 kQuickRoundMs = 50;
const qint64 kSlowRoundMs = 100;
// Packed records fetched ahead of the merge, in records of the run on top.
const int kPrefetchAhead = 64;
// Room the channels keep beyond the records loaded, for records a log gains while it is
// followed: a month and a half of a record a minute, or ten minutes at a hundred a second. Address
// space only until they come; without it the first record added would copy every point.
const int kFollowRoom = 1 << 16;
// The large page a fault brings where the system gives them, and the small one it brings else.
const uintptr_t kLargePage = uintptr_t(2) << 20;
const uintptr_t kSmallPage = uintptr_t(4) << 10;

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

// Reads size bytes at offset, or as many as the file gives: fewer only at its end or where a
// read fails.
qint64 readAt(int descriptor, char *buffer, qint64 size, qint64 offset)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = ::pread(descriptor, buffer + done, size_t(size - done), off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

} // namespace

void LogLoader::askForLargePages(void *start, size_t bytes)
{
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t from = (reinterpret_cast<uintptr_t>(start) + page - 1) / page * page;
    const uintptr_t to = (reinterpret_cast<uintptr_t>(start) + bytes) / page * page;
    if (to > from)
        madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
}

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

// Records of a file read in one round by one thread, and what decoding found in them.
struct LogLoader::Block {
    qint64 first;       // among the file's records
    qint64 count;
    qint64 got = 0;     // whole records read
    qint64 descent = 0; // the first record whose key is below the one before it; got if none
    double firstKey = 0;
    double lastKey = 0;
};

// The rest of one ascending run of packed records; order is its place in read order, which
// decides between equal keys.
struct LogLoader::Run {
    const Packed *next;
    const Packed *end;
    quint32 order;
    File *file;

    // Where the run's records with a time stamp below stamp end.
    const Packed *before(qint64 stamp) const
    {
        return std::partition_point(next, end, [stamp](const Packed &record) { return record.stamp < stamp; });
    }

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
    : mMergeStep(kMergeStep)
    , mSortChunk(kSortChunk)
    , mCrew(QThreadPool::globalInstance()->maxThreadCount())
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
        askForLargePages(mapped, mPackedBytes);
    }
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        mChannels[channel] = Channels::allocate(size_t(mPlannedRecords + kFollowRoom), QArrayData::CapacityReserved);
        if (!mChannels[channel])
            throw std::bad_alloc();
        mPoints[channel] = mChannels[channel]->data();
        askForLargePages(mPoints[channel], size_t(mPlannedRecords) * sizeof(QCPGraphData));
    }
}

void LogLoader::readFile(int index, const std::function<void()> &afterBlock)
{
    File &file = mFiles[index];
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
        readRounds(log.handle(), file, afterBlock);
        if (file.filled == file.records)
            return FileRead::Whole;
        return mCancelled ? FileRead::Cancelled : FileRead::Failed;
    }();
    mPlannedBefore += file.planned;
    mCountBefore = mCount;
}

// Rounds of blocks shared by the crew, each block decoded straight to its place: into the
// channels while everything read ascends, packed where a merge follows. Reading ends at a round's
// first block short of its records, where the file ended early or a read failed.
void LogLoader::readRounds(int descriptor, File &file, const std::function<void()> &afterBlock)
{
    // Where threads share a round, each takes a stretch of up to several blocks, whose pages the
    // crew faults in first. Rounds start at one block and grow while they are quick, so that a
    // slow stick holds the window no longer than a block or two takes.
    const int mostRoundBlocks = mCrew.size() > 1 ? mCrew.size() * kBlocksPerThread : 1;
    std::vector<std::unique_ptr<char[]>> buffers;
    while (buffers.size() < size_t(mCrew.size()))
        buffers.emplace_back(new char[size_t(mBlockRecords * LogDecoder::kRecordSize)]);
    std::vector<Block> round;
    while (file.filled < file.planned && !mCancelled) {
        round.clear();
        for (qint64 first = file.filled; first < file.planned && int(round.size()) < mRoundBlocks; first += mBlockRecords)
            round.push_back(Block{first, qMin(mBlockRecords, file.planned - first)});
        // While every record read is shown, the file's records follow the points shown so far.
        const qint64 pointBase = mShown - file.filled;
        const bool toPoints = mReadInOrder;
        const bool toPacked = !mReadInOrder || mMergeExpected;
        const size_t stretch = (round.size() + size_t(mCrew.size()) - 1) / size_t(mCrew.size());
        QElapsedTimer took;
        took.start();
        const qint64 first = round.front().first;
        const qint64 records = round.back().first + round.back().count - first;
        std::vector<Span> pages = toPoints ? pointPages(pointBase + first, records) : std::vector<Span>();
        if (toPacked)
            pages.push_back(spanOf(mPacked + file.begin + first, records));
        faultIn(pages);
        if (toPoints)
            makeRoom(pointBase + first, pointBase + first + records);
        mCrew.run(int((round.size() + stretch - 1) / stretch), [&](int at) {
            for (size_t block = size_t(at) * stretch; block < qMin(round.size(), size_t(at + 1) * stretch); ++block) {
                Block &read = round[block];
                decodeBlock(descriptor, file, read, buffers[size_t(at)].get(), pointBase, toPoints, toPacked);
                if (toPoints)
                    tellWritten(pointBase + read.first, pointBase + read.first + read.got);
            }
        });
        if (took.elapsed() < kQuickRoundMs)
            mRoundBlocks = qMin(2 * mRoundBlocks, mostRoundBlocks);
        else if (took.elapsed() > kSlowRoundMs)
            mRoundBlocks = qMax(1, mRoundBlocks / 2);
        const qint64 shownBefore = mShown;
        const bool whole = takeRound(file, round, pointBase);
        if (mShown > shownBefore)
            tellShown(shownBefore);
        afterBlock();
        if (!whole)
            return;
    }
}

void LogLoader::setWhileShowing(WhileShowing whileShowing)
{
    mWhileShowing = std::move(whileShowing);
}

void LogLoader::makeRoom(qint64 from, qint64 end)
{
    for (int channel = 0; mWhileShowing.room && channel < LogDecoder::kChannelCount; ++channel)
        mWhileShowing.room(channel, from, end);
}

// On the thread that wrote the points, while they are still in its caches.
void LogLoader::tellWritten(qint64 from, qint64 to)
{
    for (int channel = 0; mWhileShowing.written && channel < LogDecoder::kChannelCount; ++channel)
        mWhileShowing.written(channel, mPoints[channel], from, to);
}

// Every channel's points [from, from + count).
std::vector<LogLoader::Span> LogLoader::pointPages(qint64 from, qint64 count) const
{
    std::vector<Span> pages;
    for (QCPGraphData *points : mPoints)
        pages.push_back(spanOf(points + from, count));
    return pages;
}

// Faults in the pages of the spans, each large page by one thread, before threads write the spans
// side by side: where two threads' stretches met within a large page, one thread would wait while
// the other clears it, and the clearing is most of a big load. Only bytes within the spans are
// written, which their writers write again.
void LogLoader::faultIn(const std::vector<Span> &spans)
{
    const int threads = mCrew.size();
    if (threads == 1)
        return;
    mCrew.run(threads, [&](int at) {
        int large = 0;
        for (const Span &span : spans) {
            const uintptr_t begin = reinterpret_cast<uintptr_t>(span.first);
            const uintptr_t end = reinterpret_cast<uintptr_t>(span.second);
            for (uintptr_t from = begin & ~(kLargePage - 1); from < end; from += kLargePage, ++large) {
                if (large % threads != at)
                    continue;
                const uintptr_t to = qMin(from + kLargePage, end);
                for (uintptr_t page = qMax(from, begin); page < to; page = (page & ~(kSmallPage - 1)) + kSmallPage)
                    *reinterpret_cast<volatile char *>(page) = 0;
            }
        }
    });
}

void LogLoader::tellShown(qint64 from)
{
    for (int channel = 0; mWhileShowing.shown && channel < LogDecoder::kChannelCount; ++channel)
        mWhileShowing.shown(channel, mPoints[channel], from, mShown);
}

void LogLoader::decodeBlock(int descriptor, const File &file, Block &block, char *buffer, qint64 pointBase,
                            bool toPoints, bool toPacked)
{
    const qint64 bytes = readAt(descriptor, buffer, block.count * LogDecoder::kRecordSize,
                                LogDecoder::kHeaderSize + block.first * LogDecoder::kRecordSize);
    block.got = bytes / LogDecoder::kRecordSize;
    block.descent = block.got;
    double previous = -std::numeric_limits<double>::infinity();
    for (qint64 i = 0; i < block.got; ++i) {
        const LogDecoder::LogRecord record = LogDecoder::decodeRecord(buffer + i * LogDecoder::kRecordSize);
        if (record.key < previous && block.descent == block.got)
            block.descent = i;
        if (i == 0)
            block.firstKey = record.key;
        previous = record.key;
        const qint64 index = block.first + i;
        if (toPoints) {
            for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
                QCPGraphData &point = mPoints[channel][pointBase + index];
                point.key = record.key;
                point.value = record.values[channel];
            }
        }
        if (toPacked) {
            Packed &packed = mPacked[file.begin + index];
            packed.stamp = qint32(record.key - LogDecoder::kKeyOffset);
            for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel)
                packed.degrees[channel] = qint16(record.values[channel]);
        }
    }
    block.lastKey = previous;
}

// Takes the round's blocks in read order up to the first one short of its records; false when
// one was. Records decoded into the channels past where their order broke are packed from there,
// as reading packs every record after such a break.
bool LogLoader::takeRound(File &file, const std::vector<Block> &round, qint64 pointBase)
{
    const bool wasInOrder = mReadInOrder;
    bool whole = true;
    for (const Block &block : round) {
        if (block.got > 0)
            takeBlock(file, block);
        if (block.got < block.count) {
            whole = false;
            break;
        }
    }
    if (wasInOrder && !mReadInOrder && !mMergeExpected) {
        for (qint64 record = file.shown; record < file.filled; ++record)
            packRecord(file.begin + record, mPoints, pointBase + record);
    }
    return whole;
}

// A record goes to the channels while everything read ascends, and is packed for the merge
// where one is expected or the order broke; records shown are packed only when a merge that
// nobody expected needs them.
void LogLoader::takeBlock(File &file, const Block &block)
{
    if (block.descent < block.got || (file.filled > 0 && block.firstKey < mLastKey))
        file.ascending = false;
    if (mReadInOrder) {
        const qint64 inOrder = mCount > 0 && block.firstKey < mLastKey ? 0 : block.descent;
        mShown += inOrder;
        file.shown += inOrder;
        mReadInOrder = inOrder == block.got;
    }
    if (mCount == 0)
        mFirstKey = block.firstKey;
    mLastKey = block.lastKey;
    file.filled += block.got;
    mCount += block.got;
}

void LogLoader::packRecord(qint64 place, const QCPGraphData *const points[], qint64 index)
{
    Packed &packed = mPacked[place];
    packed.stamp = qint32(points[0][index].key - LogDecoder::kKeyOffset);
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel)
        packed.degrees[channel] = qint16(points[channel][index].value);
}

void LogLoader::setGrain(qint64 records)
{
    mBlockRecords = records;
    mMergeStep = records;
    mSortChunk = records;
}

double LogLoader::shareDone() const
{
    const qint64 work = mPlannedRecords * (mMergeExpected ? 2 : 1);
    if (work == 0)
        return 1;
    const qint64 read = mPlannedBefore + (mCount - mCountBefore);
    return qMin(1.0, double(read + mMerged) / double(work));
}

void LogLoader::finish(const std::function<void()> &afterStep)
{
    if (!mReadInOrder && !mCancelled && packShown(afterStep) && sortFilesOutOfOrder(afterStep))
        mergeRuns(afterStep);
    releasePacked(afterStep);
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

// Runs job(0) to job(jobs - 1), a round of one a thread between two calls of afterStep; false
// when cancelled meanwhile.
bool LogLoader::inRounds(size_t jobs, const std::function<void(size_t)> &job, const std::function<void()> &afterStep)
{
    const size_t threads = size_t(mCrew.size());
    for (size_t first = 0; first < jobs; first += threads) {
        mCrew.run(int(qMin(jobs - first, threads)), [&](int at) { job(first + size_t(at)); });
        afterStep();
        if (mCancelled)
            return false;
    }
    return true;
}

// Packs the records that went to the channels while reading, where that was not done at once;
// false when cancelled meanwhile.
bool LogLoader::packShown(const std::function<void()> &afterStep)
{
    if (mMergeExpected)
        return true;
    struct Piece {
        qint64 place; // among the packed records
        qint64 index; // in the channels
        qint64 count;
    };
    std::vector<Piece> pieces;
    qint64 at = 0;
    for (const File &file : qAsConst(mFiles)) {
        for (qint64 from = 0; from < file.shown; from += mMergeStep)
            pieces.push_back({file.begin + from, at + from, qMin(mMergeStep, file.shown - from)});
        at += file.shown;
    }
    return inRounds(pieces.size(), [&](size_t piece) {
        for (qint64 record = 0; record < pieces[piece].count; ++record)
            packRecord(pieces[piece].place + record, mPoints, pieces[piece].index + record);
    }, afterStep);
}

// Sorts each file whose records do not ascend in chunks, stably, each chunk then a run of the
// merge; false when cancelled meanwhile.
bool LogLoader::sortFilesOutOfOrder(const std::function<void()> &afterStep)
{
    std::vector<std::pair<Packed *, qint64>> chunks;
    for (const File &file : qAsConst(mFiles)) {
        for (qint64 chunk = 0; !file.ascending && chunk < file.filled; chunk += mSortChunk)
            chunks.push_back({mPacked + file.begin + chunk, qMin(mSortChunk, file.filled - chunk)});
    }
    const auto byKey = [](const Packed &a, const Packed &b) { return a.stamp < b.stamp; };
    return inRounds(chunks.size(), [&](size_t chunk) {
        std::stable_sort(chunks[chunk].first, chunks[chunk].first + chunks[chunk].second, byKey);
    }, afterStep);
}

// One run per file that ascends, one per sorted chunk of the others, in read order.
std::vector<LogLoader::Run> LogLoader::runs()
{
    std::vector<Run> runs;
    for (File &file : mFiles) {
        const qint64 length = file.ascending ? file.filled : mSortChunk;
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
    clearChannels();
    for (;;) {
        all.erase(std::remove_if(all.begin(), all.end(), [](const Run &run) { return run.next == run.end; }), all.end());
        if (all.empty())
            return;
        const qint64 from = mShown;
        mergeStep(all, mMergeStep * mCrew.size());
        tellShown(from);
        afterStep();
        if (mCancelled)
            return;
    }
}

// Merges about wanted records, the next ones by key, cut by time stamp into one stretch a thread,
// each merged on its own: a stretch ends where a time stamp ends, so every record of one stamp
// lands in one stretch, in read order. Where one stamp holds many more records than wanted, as
// one copied a hundred times, exactly wanted are merged on this thread instead.
void LogLoader::mergeStep(std::vector<Run> &runs, qint64 wanted)
{
    const auto countBefore = [&](const std::vector<const Packed *> &cut) {
        qint64 count = 0;
        for (size_t run = 0; run < runs.size(); ++run)
            count += cut[run] - runs[run].next;
        return count;
    };
    const std::vector<std::vector<const Packed *>> cuts = cutsByTime(runs, wanted);
    std::vector<const Packed *> starts;
    for (const Run &run : runs)
        starts.push_back(run.next);
    const qint64 total = countBefore(cuts.back());
    const bool oneStamp = total > 2 * wanted;
    const qint64 writing = oneStamp ? wanted : total;
    faultIn(pointPages(mShown, writing));
    makeRoom(mShown, mShown + writing);
    if (oneStamp) {
        const qint64 merged = mergeStretch(runs, mShown, wanted);
        tellWritten(mShown, mShown + merged);
        mShown += merged;
    } else {
        std::vector<std::vector<Run>> stretches(cuts.size(), runs);
        std::vector<qint64> at(cuts.size(), mShown);
        for (size_t part = 0; part < cuts.size(); ++part) {
            for (size_t run = 0; run < runs.size(); ++run) {
                stretches[part][run].next = part == 0 ? starts[run] : cuts[part - 1][run];
                stretches[part][run].end = cuts[part][run];
            }
            if (part > 0)
                at[part] = mShown + countBefore(cuts[part - 1]);
        }
        mCrew.run(int(cuts.size()), [&](int part) {
            const qint64 from = at[size_t(part)];
            tellWritten(from, from + mergeStretch(stretches[size_t(part)], from, std::numeric_limits<qint64>::max()));
        });
        for (size_t run = 0; run < runs.size(); ++run)
            runs[run].next = cuts.back()[run];
        mShown += total;
    }
    for (size_t run = 0; run < runs.size(); ++run) {
        runs[run].file->shown += runs[run].next - starts[run];
        mMerged += runs[run].next - starts[run];
    }
}

// Where each thread's stretch of a merge step of about wanted records ends in each run: at the
// least time stamp with at least the thread's share of the step before it.
std::vector<std::vector<const LogLoader::Packed *>> LogLoader::cutsByTime(const std::vector<Run> &runs, qint64 wanted) const
{
    qint64 left = 0;
    qint64 lowest = std::numeric_limits<qint64>::max();
    qint64 highest = std::numeric_limits<qint64>::min();
    for (const Run &run : runs) {
        left += run.end - run.next;
        lowest = qMin<qint64>(lowest, run.next->stamp);
        highest = qMax<qint64>(highest, qint64((run.end - 1)->stamp) + 1);
    }
    const auto countBelow = [&](qint64 stamp) {
        qint64 count = 0;
        for (const Run &run : runs)
            count += run.before(stamp) - run.next;
        return count;
    };
    std::vector<std::vector<const Packed *>> cuts;
    const int parts = mCrew.size();
    for (int part = 1; part <= parts; ++part) {
        const qint64 share = qMin(left, wanted * part / parts);
        qint64 low = lowest;
        qint64 high = highest;
        while (low < high) {
            const qint64 middle = low + (high - low) / 2;
            if (countBelow(middle) >= share)
                high = middle;
            else
                low = middle + 1;
        }
        cuts.push_back(cutBefore(runs, low));
    }
    return cuts;
}

// Where each run's records with a time stamp below stamp end.
std::vector<const LogLoader::Packed *> LogLoader::cutBefore(const std::vector<Run> &runs, qint64 stamp) const
{
    std::vector<const Packed *> cut;
    for (const Run &run : runs)
        cut.push_back(run.before(stamp));
    return cut;
}

// Merges up to limit records of the runs into the channels from point at on, and returns how
// many. Where runs overlap little, whole stretches of a run go over at once. The loop writes
// through local pointers and counts: it runs once a record where runs alternate record by record.
qint64 LogLoader::mergeStretch(std::vector<Run> &runs, qint64 at, qint64 limit)
{
    std::vector<Head> heap;
    for (Run &run : runs) {
        if (run.next != run.end)
            heap.push_back({run.rank(*run.next), &run});
    }
    for (size_t index = heap.size() / 2; index-- > 0;)
        siftDown(heap, index);
    QCPGraphData *points[LogDecoder::kChannelCount];
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel)
        points[channel] = mPoints[channel] + at;
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
    return written;
}

LogLoader::~LogLoader()
{
    releasePacked({});
    releaseChannels();
}

void LogLoader::discard()
{
    releasePacked({});
    releaseChannels();
    mCount = 0;
    mShown = 0;
}

void LogLoader::releaseChannels()
{
    for (Channels *&channel : mChannels) {
        if (channel)
            Channels::deallocate(channel);
        channel = nullptr;
    }
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
    Channels *points = mChannels[channel];
    if (!points)
        return QVector<QCPGraphData>();
    mChannels[channel] = nullptr;
    points->size = int(mShown);
    return QVector<QCPGraphData>(QArrayDataPointerRef<QCPGraphData>{points});
}
