#pragma once

// Work on many small files spread over the machine's cores, with the results taken in order.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace vantero::cli {

// Runs work(0) … work(count - 1) on a few threads and hands the results over in that order, each
// as soon as it and those before it are done. Reading small files waits mostly on the system,
// which serves several threads at once; the thread that takes the results works too whenever the
// next one is not ready, so it never waits while there is work left. What work throws is thrown
// by the take of its result.
template <typename Result> class InOrder {
public:
    InOrder(std::size_t count, std::function<Result(std::size_t)> work)
        : m_work(std::move(work)), m_slots(count) {
        const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
        try {
            for (unsigned i = 1; i < cores && i < count; ++i)
                m_helpers.emplace_back([this] {
                    while (doOne()) {
                    }
                });
        } catch (const std::system_error&) {
            // No more threads to be had: those there are do the work.
        }
    }
    ~InOrder() {
        m_next = m_slots.size(); // what is left when the taker stops early is not done
        for (std::thread& helper : m_helpers)
            helper.join();
    }
    InOrder(const InOrder&) = delete;
    InOrder& operator=(const InOrder&) = delete;

    // The next result in order; at most count calls.
    Result take() {
        for (;;) {
            std::unique_lock lock(m_mutex);
            if (m_slots[m_taken].ready) {
                Slot slot = std::exchange(m_slots[m_taken++], Slot{});
                lock.unlock();
                if (slot.error)
                    std::rethrow_exception(slot.error);
                return std::move(*slot.result);
            }
            lock.unlock();
            if (doOne())
                continue;
            lock.lock();
            m_waiting = true;
            m_ready.wait(lock, [this] { return m_slots[m_taken].ready; });
            m_waiting = false;
        }
    }

private:
    struct Slot {
        std::optional<Result> result;
        std::exception_ptr error;
        bool ready = false;
    };

    bool doOne() {
        const std::size_t index = m_next++;
        if (index >= m_slots.size())
            return false;
        Slot done;
        try {
            done.result.emplace(m_work(index));
        } catch (...) {
            done.error = std::current_exception();
        }
        done.ready = true;
        const std::lock_guard lock(m_mutex);
        m_slots[index] = std::move(done);
        if (m_waiting && index == m_taken)
            m_ready.notify_one();
        return true;
    }

    const std::function<Result(std::size_t)> m_work;
    std::vector<Slot> m_slots;
    std::atomic<std::size_t> m_next{0};
    std::size_t m_taken = 0;
    bool m_waiting = false;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::vector<std::thread> m_helpers;
};

} // namespace vantero::cli
