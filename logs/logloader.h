#ifndef LOGLOADER_H
#define LOGLOADER_H

#include "logs/logdecoder.h"

#include <QFileInfo>
#include <QStringList>
#include <QVector>
#include <qcustomplot.h>

#include <functional>
#include <limits>
#include <vector>

// One load of log files into the five channels' points, without a widget: it looks at the files
// and takes their sizes once, weighs the load against a memory budget before taking any memory,
// reads file by file in blocks with a call between blocks that may cancel the load, and at the
// end orders the points by key, stably. The window reads the finished channels out of it.
//
// Each file's records nearly always ascend, and users choose files in any order. So each file
// gets a region of the channels laid out by the key of its first record, and files that follow
// each other in time need no reordering at all; where they overlap, or a file's records do not
// ascend, the files are merged as ascending runs instead of sorting everything.
class LogLoader
{
public:
    enum class FileRead { Whole, Failed, Cancelled };

    // Takes each file's size and the key of its first record. A file that grows while it is read
    // is read up to the size it has here; at most recordLimit records are kept, the rest counts
    // as not read.
    LogLoader(const QStringList &fileNames, qint64 recordLimit);

    int fileCount() const { return mFiles.size(); }
    QString fileName(int file) const { return mFiles.at(file).info.fileName(); }
    QStringList fileNames() const;

    // Whether the load's memory fits in budget bytes; a negative budget is unknown and fits.
    bool fits(qint64 budget) const;
    // Takes the places of every record expected, a slice at a time, calling afterSlice() after
    // each; throws std::bad_alloc when memory runs out.
    void allocate(const std::function<void()> &afterSlice);
    // Reads one file's whole records after those read before; afterBlock runs after each block.
    // Once cancel() was called, reading stops after the current block, and a later file is not
    // read at all.
    FileRead readFile(int file, const std::function<void()> &afterBlock);
    void cancel() { mCancelled = true; }
    // Share of the bytes of all files read so far, 0 to 1.
    double shareRead() const;

    // Gives back unused places and orders the points by key, records of equal keys in read
    // order, calling afterStep() after each channel ordered; throws std::bad_alloc when memory
    // runs out.
    void finish(const std::function<void()> &afterStep);
    // Lets go of every point, for a load that failed.
    void discard();

    qint64 recordCount() const { return mCount; }
    // Keys of the first and the last record read, in read order; only with records.
    double firstKey() const { return mFirstKey; }
    double lastKey() const { return mLastKey; }
    QVector<QCPGraphData> takeChannel(int channel);

private:
    struct File {
        QFileInfo info;
        qint64 records = 0;   // whole records at the start of the load
        qint64 planned = 0;   // of these, the ones within the record limit: its region's size
        double firstKey = std::numeric_limits<double>::infinity(); // where its region lies
        qint64 offset = 0;    // its region in the channels
        qint64 filled = 0;    // records read into its region
        bool ascending = true; // equal keys count as ascending
    };

    void layOutRegions();
    void append(const LogDecoder::LogRecord &record);
    void closeGaps();
    void sortFilesOutOfOrder(const std::function<void()> &afterStep);
    void mergeRuns(const std::function<void()> &afterStep);

    QVector<File> mFiles;
    std::vector<int> mLayout; // files by the place of their regions
    qint64 mPlannedRecords = 0;
    bool mCancelled = false;
    qint64 mPlannedBefore = 0; // of the files finished so far
    qint64 mCountBefore = 0;   // records read before the current file

    QVector<QCPGraphData> mChannels[LogDecoder::kChannelCount];
    QCPGraphData *mPoints[LogDecoder::kChannelCount] = {};
    File *mReading = nullptr;
    qint64 mCount = 0;
    double mFirstKey = 0;
    double mLastKey = -std::numeric_limits<double>::infinity();
};

#endif // LOGLOADER_H
