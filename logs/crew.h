// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CREW_H
#define CREW_H

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Threads kept for a task's many short rounds of work, so that a round costs a hand-over rather
// than starting threads: a round runs job(0) on the calling thread and the other jobs on the
// crew, side by side, and ends when all are done.
class Crew
{
public:
    // A crew for rounds of up to size jobs: size - 1 threads, started when a round first needs them.
    explicit Crew(int size);
    ~Crew();
    Crew(const Crew &) = delete;
    Crew &operator=(const Crew &) = delete;

    int size() const { return mSize; }
    // Runs job(0) to job(count - 1) side by side, count at most size(), and returns when all are
    // done.
    void run(int count, const std::function<void(int)> &job);

private:
    void work(int member, unsigned seen);

    const int mSize;
    std::vector<std::thread> mThreads;
    std::mutex mMutex;
    std::condition_variable mStarted;
    std::condition_variable mFinished;
    const std::function<void(int)> *mJob = nullptr;
    int mCount = 0;      // jobs in the current round
    int mBusy = 0;       // of the crew's, not yet done
    unsigned mRound = 0; // rounds started
    bool mStopping = false;
};

#endif // CREW_H
