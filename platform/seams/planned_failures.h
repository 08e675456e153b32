#pragma once

// The fault-injection seam that the crypto and files layers share: the call of a chosen kind
// fails with a chosen code, once, after `skip` unaffected ones. The layers compile it in only
// where VANTHE_TEST_SEAMS is defined (test builds), so release builds carry no seam. Test builds
// take the lock only while a failure is planned: the dialog that scripts/run starts is such a
// build, and a lock per 1 KiB call would slow its every job.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace platform {

template <typename Call>
class PlannedFailures {
public:
    void Plan(Call call, std::uint32_t code, unsigned skip) {
        std::lock_guard lock(mutex_);
        Entry& plan = plans_[Index(call)];
        if (!plan.armed) {
            armed_.fetch_add(1, std::memory_order_release);
        }
        plan = Entry{true, skip, code};
    }

    void Clear() {
        std::lock_guard lock(mutex_);
        plans_.fill(Entry{});
        armed_.store(0, std::memory_order_release);
    }

    // True when the planned failure for this call is due now; `code` then holds its code.
    bool Due(Call call, std::uint32_t* code) {
        if (armed_.load(std::memory_order_acquire) == 0) {
            return false;
        }
        std::lock_guard lock(mutex_);
        Entry& plan = plans_[Index(call)];
        if (!plan.armed) {
            return false;
        }
        if (plan.skip > 0) {
            --plan.skip;
            return false;
        }
        plan.armed = false;
        armed_.fetch_sub(1, std::memory_order_release);
        *code = plan.code;
        return true;
    }

private:
    struct Entry {
        bool armed = false;
        unsigned skip = 0;
        std::uint32_t code = 0;
    };
    static std::size_t Index(Call call) { return static_cast<std::size_t>(call); }

    std::mutex mutex_;
    std::atomic<unsigned> armed_{0}; // plans not yet used, read without the lock
    std::array<Entry, static_cast<std::size_t>(Call::Count)> plans_{};
};

} // namespace platform
