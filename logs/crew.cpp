// SPDX-License-Identifier: GPL-3.0-or-later
#include "logs/crew.h"

#include <algorithm>

Crew::Crew(int size)
    : mSize(std::max(1, size))
{
}

Crew::~Crew()
{
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        mStopping = true;
    }
    mStarted.notify_all();
    for (std::thread &thread : mThreads)
        thread.join();
}

void Crew::run(int count, const std::function<void(int)> &job)
{
    count = std::min(count, mSize);
    if (count <= 0)
        return;
    if (count > 1) {
        // Only this thread starts rounds, so it reads the round count without the lock.
        while (int(mThreads.size()) < count - 1)
            mThreads.emplace_back(&Crew::work, this, int(mThreads.size()) + 1, mRound);
        {
            const std::lock_guard<std::mutex> lock(mMutex);
            mJob = &job;
            mCount = count;
            mBusy = count - 1;
            ++mRound;
        }
        mStarted.notify_all();
    }
    job(0);
    std::unique_lock<std::mutex> lock(mMutex);
    mFinished.wait(lock, [this] { return mBusy == 0; });
    mJob = nullptr;
}

void Crew::work(int member, unsigned seen)
{
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        mStarted.wait(lock, [&] { return mStopping || mRound != seen; });
        if (mStopping)
            return;
        seen = mRound;
        if (member >= mCount)
            continue;
        const std::function<void(int)> &job = *mJob;
        lock.unlock();
        job(member);
        lock.lock();
        if (--mBusy == 0)
            mFinished.notify_one();
    }
}
