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
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0)
        return; // no watching: the tree still refreshes on F5
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { ReadEvents(); });
}

FolderWatcher::~FolderWatcher() {
    if (fd_ >= 0)
        close(fd_);
}

void FolderWatcher::Watch(const std::string& folder) {
    if (fd_ < 0 || byFolder_.count(folder) != 0)
        return;
    // A folder that cannot be watched (no permission, the per-user limit reached) is simply not.
    const int wd = inotify_add_watch(fd_, folder.c_str(), kFolderEvents);
    if (wd >= 0)
        byFolder_[folder] = wd;
}

void FolderWatcher::UnwatchAll() {
    for (const auto& [folder, wd] : byFolder_)
        inotify_rm_watch(fd_, wd);
    byFolder_.clear();
}

void FolderWatcher::ReadEvents() {
    alignas(inotify_event) char buffer[16384];
    bool folderEvent = false;
    for (;;) {
        const ssize_t n = read(fd_, buffer, sizeof buffer);
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
        emit FolderChanged();
}

} // namespace vantero
