// The folder watch on Linux: inotify on each folder the tree shows, read by a thread of its own. A
// watch on a whole disk needs privileges a desktop program does not have; the folders on show are
// what a refresh compares anyway.

#include "folders/FolderServices.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

namespace vantero {
namespace {

// The folder itself going away or being renamed counts as well: its node must go.
constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

class FolderWatch::Worker {
public:
    explicit Worker(std::function<void()> notice) : m_notice(std::move(notice)) {
        m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        m_stop = eventfd(0, EFD_CLOEXEC);
        if (m_fd < 0 || m_stop < 0)
            return; // no watching: the tree still refreshes on F5
        m_thread = std::thread([this] { run(); });
    }

    ~Worker() {
        if (m_thread.joinable()) {
            const std::uint64_t one = 1;
            while (write(m_stop, &one, sizeof one) < 0 && errno == EINTR) {
            }
            m_thread.join();
        }
        for (const int fd : {m_fd, m_stop})
            if (fd >= 0)
                close(fd);
    }

    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void watch(const std::string& folder) {
        const std::lock_guard lock(m_mutex);
        if (m_fd < 0 || m_byFolder.count(folder) != 0)
            return;
        // A folder that cannot be watched (no permission, the per-user limit reached) is simply
        // not.
        const int wd = inotify_add_watch(m_fd, folder.c_str(), kFolderEvents);
        if (wd >= 0)
            m_byFolder[folder] = wd;
    }

    void unwatchAll() {
        const std::lock_guard lock(m_mutex);
        for (const auto& [folder, wd] : m_byFolder)
            inotify_rm_watch(m_fd, wd);
        m_byFolder.clear();
    }

    std::size_t count() const {
        const std::lock_guard lock(m_mutex);
        return m_byFolder.size();
    }

private:
    void run() {
        pollfd waits[2] = {{m_fd, POLLIN, 0}, {m_stop, POLLIN, 0}};
        for (;;) {
            if (poll(waits, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (waits[1].revents != 0)
                return;
            if (readEvents())
                m_notice();
        }
    }

    // Whether the kernel's queue held a folder event: one notice per read of it.
    bool readEvents() {
        alignas(inotify_event) char buffer[16384];
        bool folderEvent = false;
        for (;;) {
            const ssize_t n = read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                if ((event->mask & IN_ISDIR) != 0 ||
                    (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0 ||
                    (event->mask & IN_Q_OVERFLOW) != 0)
                    folderEvent = true;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return folderEvent;
    }

    std::function<void()> m_notice;
    int m_fd = -1;
    int m_stop = -1;
    mutable std::mutex m_mutex;
    std::map<std::string, int> m_byFolder;
    std::thread m_thread;
};

FolderWatch::FolderWatch(std::function<void()> notice)
    : m_worker(std::make_unique<Worker>(std::move(notice))) {}

FolderWatch::~FolderWatch() = default;

void FolderWatch::startOver() {
    m_worker->unwatchAll();
}

void FolderWatch::folderShown(const std::string& folder) {
    m_worker->watch(folder);
}

std::size_t FolderWatch::watchCount() const {
    return m_worker->count();
}

} // namespace vantero
