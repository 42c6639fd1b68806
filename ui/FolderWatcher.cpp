#include "ui/FolderWatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

namespace vantero {
namespace {

// The folder itself going away or being renamed counts as well: its node must go.
constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

FolderWatcher::FolderWatcher(QObject* parent) : QObject(parent) {
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return; // no watching: the tree still refreshes on F5
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readEvents(); });
}

FolderWatcher::~FolderWatcher() {
    if (m_fd >= 0)
        close(m_fd);
}

void FolderWatcher::watch(const std::string& folder) {
    if (m_fd < 0 || m_byFolder.count(folder) != 0)
        return;
    // A folder that cannot be watched (no permission, the per-user limit reached) is simply not.
    const int wd = inotify_add_watch(m_fd, folder.c_str(), kFolderEvents);
    if (wd >= 0)
        m_byFolder[folder] = wd;
}

void FolderWatcher::unwatchAll() {
    for (const auto& [folder, wd] : m_byFolder)
        inotify_rm_watch(m_fd, wd);
    m_byFolder.clear();
}

void FolderWatcher::readEvents() {
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
    if (folderEvent)
        emit folderChanged();
}

} // namespace vantero
