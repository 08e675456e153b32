#include "platform/files/async_io.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <pthread.h>
#include <string.h> // explicit_bzero
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

namespace {

// The cipher thread's copies are what the ring costs it: the writing thread last read these
// lines on another core, and the reading thread's system call has just filled them there. So
// the copy into the write ring stores past the cache, which saves fetching each line only to
// overwrite it, and the read side fetches the next chunk's lines while the cipher works on
// the current one.
void CopyIntoRing(unsigned char* to, const unsigned char* from, std::size_t count) {
#if defined(__SSE2__)
    if (reinterpret_cast<std::uintptr_t>(to) % 16 == 0) {
        const std::size_t lines = count - count % 64;
        for (std::size_t i = 0; i < lines; i += 16) {
            _mm_stream_si128(reinterpret_cast<__m128i*>(to + i),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
        }
        to += lines;
        from += lines;
        count -= lines;
    }
#endif
    std::memcpy(to, from, count);
}

// Makes the stores past the cache visible before a block is handed to the writing thread.
void FinishRingStores() {
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

constexpr std::size_t kPrefetchFrom = 1024; // the chunk after the next, from the current offset
constexpr std::size_t kPrefetchTo = 2048;
constexpr std::size_t kLine = 64;
// The writing thread asks the system to start writing a file's pages to disk each time this
// much more has been written, so that syncing the result at its end (before it takes its name)
// waits only for the last of them, not for the whole file.
constexpr std::uint64_t kWritebackStep = 8 << 20;

// The thread starts with every signal blocked: signals belong to the program's own threads,
// and a write past RLIMIT_FSIZE or into a closed pipe must come back as EFBIG or EPIPE
// instead of ending the process.
template <typename Body>
int StartBlockedThread(std::thread& thread, Body body) {
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    int error = 0;
    try {
        thread = std::thread(body);
    } catch (const std::system_error& failure) {
        error = failure.code().value() != 0 ? failure.code().value() : EAGAIN;
    } catch (const std::bad_alloc&) {
        error = ENOMEM;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return error;
}

// Writes all of it, through short writes and interruptions; the errno of a failure, or 0.
// A pipe that whoever started the program left non-blocking (a standard output shared with
// a parent that wants it so) is waited for, as a blocking one would be.
int WriteAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EAGAIN) {
                pollfd ready{fd, POLLOUT, 0};
                ::poll(&ready, 1, -1);
                continue;
            }
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

} // namespace

BlockRing::BlockRing(IoBlocks shape) : shape_(shape) {
    shape_.blockSize = std::max<std::size_t>(shape_.blockSize, 1);
    shape_.blockCount = std::max<std::size_t>(shape_.blockCount, 1);
    if (shape_.wakeAfter == 0) {
        shape_.wakeAfter = shape_.blockCount / 2;
    }
    shape_.wakeAfter = std::clamp<std::size_t>(shape_.wakeAfter, 1, shape_.blockCount);
}

BlockRing::~BlockRing() {
    Wipe();
}

bool BlockRing::Allocate() {
    memory_.reset(new (std::nothrow) unsigned char[shape_.blockSize * shape_.blockCount]);
    blocks_.reset(new (std::nothrow) Block[shape_.blockCount]);
    if (!memory_ || !blocks_) {
        memory_.reset();
        blocks_.reset();
        return false;
    }
    for (std::size_t i = 0; i < shape_.blockCount; ++i) {
        blocks_[i].data = memory_.get() + i * shape_.blockSize;
    }
    return true;
}

void BlockRing::Wipe() {
    if (memory_) {
        explicit_bzero(memory_.get(), touched_);
        memory_.reset();
        blocks_.reset();
        touched_ = 0;
    }
}

ReadAhead::ReadAhead(int fd, IoBlocks blocks) : fd_(fd), ring_(blocks) {}

ReadAhead::~ReadAhead() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        if (stopFd_ >= 0) {
            std::uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
        }
        emptied_.notify_one();
        thread_.join();
    }
    if (stopFd_ >= 0) {
        ::close(stopFd_);
    }
    ring_.Wipe();
}

int ReadAhead::Start() {
    started_ = true;
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        return errno;
    }
    // Without the memory, a descriptor or a thread (a process or container at its limit of
    // threads, many jobs at once), the caller reads for itself: slower, but the job is done.
    if (ring_.Allocate()) {
        if (!S_ISREG(info.st_mode)) {
            stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        }
        if ((S_ISREG(info.st_mode) || stopFd_ >= 0) &&
            StartBlockedThread(thread_, [this] { Run(); }) == 0) {
            return 0;
        }
    }
    ring_.Wipe();
    direct_ = true;
    return 0;
}

int ReadAhead::ReadDirect(unsigned char* out, std::size_t count, std::size_t* done) {
    std::size_t copied = 0;
    while (copied < count && !atEnd_) {
        ssize_t n = ::read(fd_, out + copied, count - copied);
        if (n > 0) {
            copied += static_cast<std::size_t>(n);
        } else if (n == 0) {
            atEnd_ = true;
        } else if (errno == EAGAIN) {
            pollfd ready{fd_, POLLIN, 0};
            ::poll(&ready, 1, -1);
        } else if (errno != EINTR) {
            // What was read before the failure is handed out first, as with the thread.
            failure_ = errno;
            break;
        }
    }
    *done = copied;
    return copied > 0 ? 0 : failure_;
}

void ReadAhead::Run() {
    for (;;) {
        Block* block = nullptr;
        {
            std::unique_lock lock(mutex_);
            if (produced_ - consumed_ == ring_.Count()) {
                // A full ring: sleep until half of it is free, so that each wake-up is paid
                // for by several blocks.
                threadWaiting_ = true;
                emptied_.wait(lock, [this] {
                    return stop_ || ring_.Count() - (produced_ - consumed_) >= ring_.Batch();
                });
                threadWaiting_ = false;
            }
            if (stop_) {
                return;
            }
            block = &ring_.At(produced_);
        }
        // One read per block: a file fills it, and a pipe hands on whatever has arrived.
        std::size_t size = 0;
        int error = 0;
        bool end = false;
        for (;;) {
            if (stopFd_ >= 0) {
                // A pipe or terminal may have nothing for a long time; closing must not wait.
                pollfd ready[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
                if (::poll(ready, 2, -1) < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    error = errno;
                    break;
                }
                if (ready[1].revents != 0) {
                    return;
                }
            }
            ssize_t n = ::read(fd_, block->data, ring_.BlockSize());
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN) {
                    continue;
                }
                error = errno;
            } else if (n == 0) {
                end = true;
            } else {
                size = static_cast<std::size_t>(n);
            }
            break;
        }
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            block->size = size;
            ring_.Filled(*block);
            if (size > 0) {
                ++produced_;
            }
            if (error != 0 || end) {
                ended_ = true;
                endError_ = error;
            }
            wake = callerWaiting_;
        }
        if (wake) {
            filled_.notify_one();
        }
        if (error != 0 || end) {
            return;
        }
    }
}

bool ReadAhead::NextBlock() {
    std::unique_lock lock(mutex_);
    // The reader is woken after the lock is given up, so that it does not wake only to wait
    // for the lock: that would cost both sides another switch and system call.
    bool wake = false;
    if (current_ != nullptr) {
        current_ = nullptr;
        ++consumed_;
        wake = threadWaiting_ && ring_.Count() - (produced_ - consumed_) == ring_.Batch();
    }
    if (produced_ == consumed_ && !ended_) {
        if (wake) {
            emptied_.notify_one();
            wake = false;
        }
        callerWaiting_ = true;
        filled_.wait(lock, [this] { return produced_ > consumed_ || ended_; });
        callerWaiting_ = false;
    }
    bool more = produced_ > consumed_;
    if (more) {
        current_ = &ring_.At(consumed_);
        offset_ = 0;
    } else {
        // Everything read before the end has been handed out.
        failure_ = endError_;
        atEnd_ = endError_ == 0;
    }
    lock.unlock();
    if (wake) {
        emptied_.notify_one();
    }
    return more;
}

int ReadAhead::Read(void* buffer, std::size_t count, std::size_t* done) {
    *done = 0;
    if (failure_ != 0) {
        return failure_;
    }
    if (!started_) {
        failure_ = Start();
        if (failure_ != 0) {
            return failure_;
        }
    }
    auto* out = static_cast<unsigned char*>(buffer);
    if (direct_) {
        return ReadDirect(out, count, done);
    }
    std::size_t copied = 0;
    while (copied < count && !atEnd_) {
        if (current_ != nullptr && offset_ < current_->size) {
            std::size_t n = std::min(count - copied, current_->size - offset_);
            std::memcpy(out + copied, current_->data + offset_, n);
            offset_ += n;
            const std::size_t end = std::min(offset_ + kPrefetchTo, current_->size);
            for (std::size_t at = offset_ + kPrefetchFrom; at < end; at += kLine) {
                __builtin_prefetch(current_->data + at);
            }
            copied += n;
        } else if (!NextBlock() && failure_ != 0) {
            return failure_;
        }
    }
    *done = copied;
    return 0;
}

WriteBehind::WriteBehind(int fd, IoBlocks blocks, std::uint64_t syncEvery)
    : fd_(fd), ring_(blocks), syncEvery_(syncEvery) {}

WriteBehind::~WriteBehind() {
    Finish();
    ring_.Wipe();
}

int WriteBehind::Start() {
    started_ = true;
    struct stat info {};
    writeback_ = ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
    // Without the memory or a thread the caller writes for itself, as the reader reads.
    if (ring_.Allocate()) {
        current_ = &ring_.At(0);
        if (StartBlockedThread(thread_, [this] { Run(); }) == 0) {
            return 0;
        }
        current_ = nullptr;
    }
    ring_.Wipe();
    direct_ = true;
    return 0;
}

int WriteBehind::WriteDirect(const unsigned char* in, std::size_t count) {
    const int error = WriteAll(fd_, in, count);
    if (error != 0) {
        error_ = error;
    }
    return error;
}

void WriteBehind::Run() {
    for (;;) {
        Block* block = nullptr;
        {
            std::unique_lock lock(mutex_);
            if (produced_ == consumed_) {
                // Nothing to write: sleep until half of the ring is full, or everything is
                // wanted out now.
                threadWaiting_ = true;
                filled_.wait(lock, [this] {
                    std::uint64_t pending = produced_ - consumed_;
                    return stop_ || pending >= ring_.Batch() || (draining_ && pending > 0);
                });
                threadWaiting_ = false;
                if (produced_ == consumed_) {
                    return; // stopped
                }
            }
            block = &ring_.At(consumed_);
        }
        int error = 0;
        // After a failure the rest is dropped: it could only land in the wrong place.
        if (error_.load(std::memory_order_relaxed) == 0) {
            error = WriteAll(fd_, block->data, block->size);
            unsubmitted_ += block->size;
            // A file synced as it goes has its pages written by the syncs.
            if (syncEvery_ == 0 && writeback_ && error == 0 && unsubmitted_ >= kWritebackStep) {
                // Only a request: a file system that cannot take it writes the pages later.
                ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
                unsubmitted_ = 0;
            }
        }
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            if (error != 0) {
                error_ = error;
            }
            ++consumed_;
            wake = callerWaiting_;
        }
        if (wake) {
            emptied_.notify_one();
        }
    }
}

void WriteBehind::RunSyncs() {
    for (;;) {
        {
            std::unique_lock lock(syncMutex_);
            syncWanted_.wait(lock, [this] { return syncPending_ || syncStop_; });
            if (syncStop_) {
                return;
            }
            syncPending_ = false;
        }
        // Requests that come while this runs are one more sync after it.
        int error = ::fdatasync(fd_) == 0 ? 0 : errno;
        if (error != 0 && error != EINTR) {
            // The sync at the end may not see this failure again: it ends the writing as a
            // failed write does.
            std::lock_guard lock(mutex_);
            if (error_ == 0) {
                error_ = error;
            }
            return;
        }
    }
}

void WriteBehind::RequestSync() {
    // Started only once there is something to sync: most results are small, and a thread
    // for each would cost a batch of them more than the syncs save.
    if (!syncThread_.joinable()) {
        if (syncsEnded_ || StartBlockedThread(syncThread_, [this] { RunSyncs(); }) != 0) {
            syncsEnded_ = true; // the sync at the end does it all
            return;
        }
    }
    {
        std::lock_guard lock(syncMutex_);
        syncPending_ = true;
    }
    syncWanted_.notify_one();
}

void WriteBehind::StopSyncs() {
    syncsEnded_ = true;
    if (!syncThread_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(syncMutex_);
        syncStop_ = true;
    }
    syncWanted_.notify_one();
    syncThread_.join();
}

int WriteBehind::Publish() {
    FinishRingStores();
    // Counted as handed over, not as written: a sync covers what has reached the file by then.
    if (syncEvery_ > 0 && writeback_ && (handedOver_ += current_->size) >= syncEvery_) {
        RequestSync();
        handedOver_ = 0;
    }
    std::unique_lock lock(mutex_);
    ++produced_;
    // Woken after the lock is given up, as the reader is.
    bool wake = threadWaiting_ && produced_ - consumed_ == ring_.Batch();
    if (produced_ - consumed_ == ring_.Count()) {
        if (wake) {
            filled_.notify_one();
            wake = false;
        }
        callerWaiting_ = true;
        emptied_.wait(lock, [this] { return produced_ - consumed_ < ring_.Count(); });
        callerWaiting_ = false;
    }
    current_ = &ring_.At(produced_);
    current_->size = 0;
    int error = error_;
    lock.unlock();
    if (wake) {
        filled_.notify_one();
    }
    return error;
}

int WriteBehind::Write(const void* data, std::size_t count) {
    if (finished_) {
        return EBADF;
    }
    if (int error = error_.load(std::memory_order_acquire); error != 0) {
        return error;
    }
    if (!started_) {
        if (int error = Start(); error != 0) {
            return error;
        }
    }
    const auto* in = static_cast<const unsigned char*>(data);
    if (direct_) {
        return WriteDirect(in, count);
    }
    while (count > 0) {
        std::size_t n = std::min(count, ring_.BlockSize() - current_->size);
        CopyIntoRing(current_->data + current_->size, in, n);
        current_->size += n;
        ring_.Filled(*current_);
        in += n;
        count -= n;
        if (current_->size == ring_.BlockSize()) {
            if (int error = Publish(); error != 0) {
                return error;
            }
        }
    }
    return 0;
}

int WriteBehind::Flush() {
    if (!started_ || current_ == nullptr) {
        return error_;
    }
    if (current_->size > 0 && error_ == 0) {
        Publish();
    }
    std::unique_lock lock(mutex_);
    if (consumed_ != produced_) {
        draining_ = true;
        if (threadWaiting_) {
            filled_.notify_one();
        }
        callerWaiting_ = true;
        emptied_.wait(lock, [this] { return consumed_ == produced_; });
        callerWaiting_ = false;
        draining_ = false;
    }
    lock.unlock();
    // Writes after this (rare: callers flush at their end) are left to the sync at the end.
    StopSyncs();
    return error_;
}

int WriteBehind::Finish() {
    if (finished_) {
        return error_;
    }
    int error = Flush();
    finished_ = true;
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        filled_.notify_one();
        thread_.join();
    }
    return error != 0 ? error : error_.load();
}

} // namespace platform
