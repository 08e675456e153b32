#pragma once

// Reading ahead of and writing behind a caller that moves small pieces, on a thread of the
// descriptor's own, so that the caller copies to and from memory while the system calls run
// beside it. Both wrap a plain descriptor of any kind and never close it. Failures are the
// system's errno values, returned; 0 is success.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

// A ring of a few blocks that stays in the processor's cache while one side fills a block and
// the other empties another.
struct IoBlocks {
    std::size_t blockSize = 128 * 1024;
    // Eight blocks made a 256 MiB job to a disk about 7% faster here, but the same job into
    // memory or to /dev/null 12 to 19% slower: the two rings no longer stayed in cache.
    std::size_t blockCount = 4;
    // The thread sleeps when it has nothing to do and wakes when this many blocks are ready
    // for it (free to read into, or waiting to be written); 0: half the ring. Each wake-up
    // costs both sides a system call and the sleeper a switch, so fewer are better, as long
    // as the caller is never left waiting.
    std::size_t wakeAfter = 0;
};

// The blocks both directions share: one allocation cut into blockCount blocks, made when the
// thread starts, and wiped when it goes.
class BlockRing {
public:
    struct Block {
        unsigned char* data = nullptr;
        std::size_t size = 0;
    };

    explicit BlockRing(IoBlocks shape);
    ~BlockRing();
    BlockRing(const BlockRing&) = delete;
    BlockRing& operator=(const BlockRing&) = delete;

    // False when the memory cannot be had.
    bool Allocate();
    // The block of the index-th use, counted from the start.
    Block& At(std::uint64_t index) { return blocks_[index % shape_.blockCount]; }
    std::size_t BlockSize() const { return shape_.blockSize; }
    std::size_t Count() const { return shape_.blockCount; }
    std::size_t Batch() const { return shape_.wakeAfter; }
    // Records that the block holds data up to its size. Only the side that fills the blocks
    // calls it, and Wipe comes after that side has ended.
    void Filled(const Block& block) {
        touched_ =
            std::max(touched_, static_cast<std::size_t>(block.data - memory_.get()) + block.size);
    }
    // What passed through may be a secret the caller has long since wiped. Only what was filled
    // is wiped: writing to the rest would only make the system hand out pages nobody used,
    // which costs a small file's job more than its data does.
    void Wipe();

private:
    IoBlocks shape_;
    std::unique_ptr<unsigned char[]> memory_;
    std::unique_ptr<Block[]> blocks_;
    std::size_t touched_ = 0; // bytes from the start of memory_ that may hold data
};

// Reads the descriptor from its current offset to its real end, whatever size it reports. A
// pipe or terminal is waited on together with a stop signal, so that the reader can be ended
// while nothing arrives.
class ReadAhead {
public:
    explicit ReadAhead(int fd, IoBlocks blocks = {});
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Fills the request unless the end comes first; *done is 0 at the end. A failure of the
    // background reads is returned once every byte read before it has been handed out, then
    // again by every later call; the request it cuts short hands out nothing.
    int Read(void* buffer, std::size_t count, std::size_t* done);

private:
    using Block = BlockRing::Block;
    int Start();
    void Run();
    // Gives the current block back and waits for the next; false at the end or on a failure.
    bool NextBlock();
    // Reading on the caller's thread, when no thread of its own could be had.
    int ReadDirect(unsigned char* out, std::size_t count, std::size_t* done);

    int fd_;
    BlockRing ring_;
    std::thread thread_;
    int stopFd_ = -1; // an eventfd, for anything but a regular file

    std::mutex mutex_;
    std::condition_variable filled_;  // a block is ready, or the reads have ended
    std::condition_variable emptied_; // a block is free, or the reader must stop
    std::uint64_t produced_ = 0;
    std::uint64_t consumed_ = 0;
    bool threadWaiting_ = false;
    bool callerWaiting_ = false;
    bool ended_ = false;
    int endError_ = 0;
    bool stop_ = false;

    // The caller's side only.
    bool started_ = false;
    bool direct_ = false;
    int failure_ = 0;
    bool atEnd_ = false;
    Block* current_ = nullptr;
    std::size_t offset_ = 0;
};

// Writes at the descriptor's current offset. A failed write ends all writing: the next call
// and every later one, Flush and Finish return it.
class WriteBehind {
public:
    // With `syncEvery`, a regular file that is to be synced at its end anyway is synced as it
    // grows, each time that much more has been written, on a second thread beside the writes:
    // the sync at the end then waits for the last part only, not for the whole file.
    explicit WriteBehind(int fd, IoBlocks blocks = {}, std::uint64_t syncEvery = 0);
    // Writes what is pending, as Finish does, ignoring its failure.
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Takes all of the data; it reaches the descriptor later.
    int Write(const void* data, std::size_t count);
    // Waits until everything taken so far has been written, and for a sync under way; a failed
    // sync is returned here, since the sync at the end may no longer see it.
    int Flush();
    // Flush, then ends the thread; nothing may be written afterwards.
    int Finish();

private:
    using Block = BlockRing::Block;
    int Start();
    void Run();
    // Hands the block being filled to the thread and waits for a free one.
    int Publish();
    // Writing on the caller's thread, when no thread of its own could be had.
    int WriteDirect(const unsigned char* in, std::size_t count);
    // The syncing thread's loop; the caller's requests and their end.
    void RunSyncs();
    void RequestSync();
    void StopSyncs();

    int fd_;
    BlockRing ring_;
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable filled_;  // a block waits to be written, or the writer must stop
    std::condition_variable emptied_; // a block has been written (or dropped after a failure)
    std::uint64_t produced_ = 0;
    std::uint64_t consumed_ = 0;
    // Set under the lock; also read without it, so that each call sees a failure at once.
    std::atomic<int> error_{0};
    bool threadWaiting_ = false;
    bool callerWaiting_ = false;
    bool draining_ = false; // Flush wants every pending block written now
    bool stop_ = false;

    bool writeback_ = false; // a regular file, whose pages go to disk early; set at the start

    // The writing thread's only.
    std::uint64_t unsubmitted_ = 0; // bytes written since writeback was last started

    // The syncs, started and ended by the caller's side.
    const std::uint64_t syncEvery_;
    std::uint64_t handedOver_ = 0; // bytes handed to the writing thread since the last request
    bool syncsEnded_ = false;
    std::thread syncThread_;
    std::mutex syncMutex_;
    std::condition_variable syncWanted_;
    bool syncPending_ = false;
    bool syncStop_ = false;

    // The caller's side only.
    bool started_ = false;
    bool direct_ = false;
    bool finished_ = false;
    Block* current_ = nullptr;
};

} // namespace platform
