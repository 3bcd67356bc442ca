// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LOGLOADER_H
#define LOGLOADER_H

#include "logs/crew.h"
#include "logs/logdecoder.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QVector>
#include <qcustomplot.h>

#include <functional>
#include <limits>
#include <vector>

// Opens the file at path for reading if it is a regular file at the moment it is opened.
bool openRegularFile(QFile &file, const QString &path);

// One load of log files into the five channels' points, without a widget: it looks at the files
// and takes their sizes once, weighs the load against a memory budget before taking any memory,
// reads file by file in rounds of blocks with a call between rounds that may cancel the load, and
// at the end orders the points by key, stably. The window reads the finished channels out of it.
//
// While everything read so far ascends, as files that follow each other in time do, each record
// goes straight into the channels, so such a load is done, or cancelled, the moment reading
// ends. Otherwise the records are kept packed (time stamp and whole degrees, 14 bytes) in read
// order and merged into the channels afterwards, one ascending run per file, in steps, so that a
// cancel keeps the channels in order up to where the merge had come.
//
// The work is shared by as many threads as the global thread pool's maximum: a round reads and
// decodes one block a thread straight into place, a step of the merge is cut by time into one
// stretch a thread, and chunks are sorted side by side. The points are the same at any count.
class LogLoader
{
public:
    enum class FileRead { Whole, Failed, Cancelled };

    // Takes each file's size and the keys of its first and last record. A file that grows while
    // it is read is read up to the size it has here; at most recordLimit records are kept, the
    // rest counts as not read.
    LogLoader(const QStringList &fileNames, qint64 recordLimit);
    ~LogLoader();
    LogLoader(const LogLoader &) = delete;
    LogLoader &operator=(const LogLoader &) = delete;

    int fileCount() const { return mFiles.size(); }
    // Records the load reads at most.
    qint64 plannedRecords() const { return mPlannedRecords; }
    QString fileName(int file) const { return mFiles.at(file).info.fileName(); }
    QStringList fileNames() const;
    // Where the file's records that the load did not take begin: after those read, or, where
    // the load was cancelled, after all the file had when the load began, so that what the user
    // cancelled is not taken up by following the file.
    qint64 recordsTaken(int file) const;

    // Asks for the pages of [start, start + bytes) in large pages where the system gives them on
    // request: a fault then brings 2 MiB instead of 4 KiB, and a big load spends most of its
    // time in faults. For the load's own memory, and for what is filled beside it.
    static void askForLargePages(void *start, size_t bytes);

    // Whether the load's memory fits in budget bytes; a negative budget is unknown and fits.
    bool fits(qint64 budget) const;
    // Takes the address space of every record expected without touching it: each page is first
    // written by decoding, so there is nothing to make ready before reading. Throws
    // std::bad_alloc when memory runs out.
    void reserve();
    // Reads one file's whole records after those read before; afterBlock runs after each round
    // of blocks (one block at one thread; at more, rounds grow while they are quick). Once cancel() was called, reading stops after the current round, and a later
    // file is not read at all. How the file's load ended tells outcome().
    void readFile(int file, const std::function<void()> &afterBlock);
    void cancel() { mCancelled = true; }
    // What is done with each channel's points while the load writes them: room(channel, from,
    // end) on this thread before points[from, end) are written; written(channel, points, from, to)
    // on the thread that wrote points[from, to), right after, threads writing disjoint stretches
    // side by side; shown(channel, points, from, count) on this thread after each round of reading
    // that showed records and after each step of the merge, where points[0, count) are the
    // channel's points so far and only those from `from` on are new or were written again since
    // the previous call. Before reading.
    struct WhileShowing {
        std::function<void(int channel, qint64 from, qint64 end)> room;
        std::function<void(int channel, const QCPGraphData *points, qint64 from, qint64 to)> written;
        std::function<void(int channel, const QCPGraphData *points, qint64 from, qint64 count)> shown;
    };
    void setWhileShowing(WhileShowing whileShowing);
    // Reads, sorts and merges in steps of this many records instead of the usual tens of
    // thousands: for fuzzing where steps meet. Before reading.
    void setGrain(qint64 records);
    // Share of the load's work done, 0 to 1: reading, then merging where files overlap.
    double shareDone() const;

    // Puts the records read into the channels ordered by key, records of equal keys in read
    // order, calling afterStep() after each step. After a cancel it stops at the end of the
    // step: the channels then hold the records in order so far, the start of the merge.
    void finish(const std::function<void()> &afterStep);
    // Lets go of every point, for a load that failed.
    void discard();
    // How the file's load ended: Whole only if it was read to its end and every record read is
    // in the channels.
    FileRead outcome(int file) const;

    // Points in each channel.
    qint64 recordCount() const { return mShown; }
    // The time span to show: from the first to the last record read, in read order, when every
    // record read is shown, else that of the points shown; only with records.
    double firstKey() const;
    double lastKey() const;
    QVector<QCPGraphData> takeChannel(int channel);

private:
    // A record as kept until it is in the channels: 14 bytes, without padding, as every byte
    // of it is written and read again.
#pragma pack(push, 2)
    struct Packed {
        qint32 stamp;
        qint16 degrees[LogDecoder::kChannelCount];
    };
#pragma pack(pop)
    struct File {
        QFileInfo info;
        qint64 records = 0;   // whole records at the start of the load
        qint64 planned = 0;   // of these, the ones within the record limit
        qint64 begin = 0;     // its place among the packed records
        qint64 filled = 0;    // records read
        qint64 shown = 0;     // of these, the ones in the channels
        bool ascending = true; // equal keys count as ascending
        FileRead read = FileRead::Cancelled;
    };
    struct Block;
    struct Run;
    struct Head;
    using Channels = QTypedArrayData<QCPGraphData>;

    void expectMerge(const std::vector<std::pair<double, double>> &edges);
    void readRounds(int descriptor, File &file, const std::function<void()> &afterBlock);
    using Span = std::pair<char *, char *>;
    template <typename T>
    static Span spanOf(T *first, qint64 count)
    {
        return {reinterpret_cast<char *>(first), reinterpret_cast<char *>(first + count)};
    }
    std::vector<Span> pointPages(qint64 from, qint64 count) const;
    void faultIn(const std::vector<Span> &spans);
    void makeRoom(qint64 from, qint64 end);
    void tellWritten(qint64 from, qint64 to);
    void tellShown(qint64 from);
    void decodeBlock(int descriptor, const File &file, Block &block, char *buffer, qint64 pointBase, bool toPoints,
                     bool toPacked);
    bool takeRound(File &file, const std::vector<Block> &round, qint64 pointBase);
    void takeBlock(File &file, const Block &block);
    void packRecord(qint64 place, const QCPGraphData *const points[], qint64 index);
    bool inRounds(size_t jobs, const std::function<void(size_t)> &job, const std::function<void()> &afterStep);
    void clearChannels();
    bool packShown(const std::function<void()> &afterStep);
    bool sortFilesOutOfOrder(const std::function<void()> &afterStep);
    std::vector<Run> runs();
    void mergeRuns(const std::function<void()> &afterStep);
    void mergeStep(std::vector<Run> &runs, qint64 wanted);
    std::vector<std::vector<const Packed *>> cutsByTime(const std::vector<Run> &runs, qint64 wanted) const;
    std::vector<const Packed *> cutBefore(const std::vector<Run> &runs, qint64 stamp) const;
    qint64 mergeStretch(std::vector<Run> &runs, qint64 at, qint64 limit);
    void releasePacked(const std::function<void()> &afterStep);
    void releaseChannels();

    QVector<File> mFiles;
    qint64 mBlockRecords = LogDecoder::kBlockRecords;
    int mRoundBlocks = 1; // blocks the next round of reading takes
    qint64 mMergeStep;
    qint64 mSortChunk;
    Crew mCrew;
    WhileShowing mWhileShowing;
    qint64 mPlannedRecords = 0;
    bool mMergeExpected = false;
    bool mCancelled = false;
    qint64 mPlannedBefore = 0; // of the files finished so far
    qint64 mCountBefore = 0;   // records read before the current file

    Packed *mPacked = nullptr;
    size_t mPackedBytes = 0;
    // Each channel's points, written in place by the threads that decode or merge, and given
    // their size only when handed over: growing them on the way would write every point twice,
    // the first time on one thread.
    Channels *mChannels[LogDecoder::kChannelCount] = {};
    QCPGraphData *mPoints[LogDecoder::kChannelCount] = {};
    qint64 mShown = 0; // points written to each channel
    bool mReadInOrder = true; // every record read so far went to the channels
    qint64 mCount = 0;
    qint64 mMerged = 0;
    double mFirstKey = 0;
    double mLastKey = -std::numeric_limits<double>::infinity();
};

#endif // LOGLOADER_H
