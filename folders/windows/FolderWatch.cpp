// The folder watch on Windows: one thread waits on a change notification per fixed, network and RAM
// drive, each over the drive's whole tree and for folder names only, and on a command event
// through which the tree's thread adds and drops watches. Every command is acknowledged; the tree's
// thread waits 2 s at most for that, so that a network drive slow to answer never freezes it.

#include "folders/FolderServices.h"

#include <windows.h>

#include <array>
#include <mutex>

namespace vantero {
namespace {

// The command event takes one of the handles a thread can wait on at once.
constexpr std::size_t kSlots = MAXIMUM_WAIT_OBJECTS - 1;
constexpr DWORD kAcknowledgeWait = 2000;
constexpr DWORD kEndWait = 30000;

enum class Command { Add, RemoveAll, Terminate };

} // namespace

class FolderWatch::Worker {
public:
    explicit Worker(std::function<void()> notice) : m_notice(std::move(notice)) {
        m_command = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        m_acknowledge = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (m_command != nullptr && m_acknowledge != nullptr)
            m_thread = CreateThread(nullptr, 0, &Worker::start, this, 0, nullptr);
    }

    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Ends the thread and closes every handle; false, with nothing closed, when the thread did
    // not end in time and may still use them.
    bool finish() {
        if (m_thread != nullptr) {
            send(Command::Terminate);
            const bool ended = WaitForSingleObject(m_thread, kEndWait) == WAIT_OBJECT_0;
            CloseHandle(m_thread);
            if (!ended)
                return false;
        }
        closeAll();
        for (const HANDLE event : {m_command, m_acknowledge})
            if (event != nullptr)
                CloseHandle(event);
        return true;
    }

    void send(Command command, std::wstring root = {}) {
        if (m_thread == nullptr)
            return;
        {
            // Guarded besides the hand-shake: a command not acknowledged in time is still read.
            const std::lock_guard lock(m_mutex);
            m_pending = command;
            m_root = std::move(root);
        }
        SetEvent(m_command);
        WaitForSingleObject(m_acknowledge, kAcknowledgeWait);
    }

    std::size_t count() const {
        const std::lock_guard lock(m_mutex);
        return m_count;
    }

private:
    static DWORD WINAPI start(void* worker) {
        static_cast<Worker*>(worker)->run();
        return 0;
    }

    void run() {
        for (;;) {
            std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> waits{};
            std::array<std::size_t, MAXIMUM_WAIT_OBJECTS> slotOf{};
            DWORD count = 0;
            waits[count++] = m_command;
            for (std::size_t slot = 0; slot < kSlots; ++slot)
                if (m_slots[slot] != nullptr) {
                    slotOf[count] = slot;
                    waits[count++] = m_slots[slot];
                }
            const DWORD signalled = WaitForMultipleObjects(count, waits.data(), FALSE, INFINITE);
            if (signalled == WAIT_OBJECT_0) {
                if (!obey())
                    return;
            } else if (signalled > WAIT_OBJECT_0 && signalled < WAIT_OBJECT_0 + count) {
                const std::size_t slot = slotOf[signalled - WAIT_OBJECT_0];
                m_notice();
                // A watch that cannot be armed again is closed and its slot freed.
                if (!FindNextChangeNotification(m_slots[slot]))
                    close(slot);
            } else {
                return; // nothing left that can be waited on
            }
        }
    }

    // Carries out the pending command; false when it was to end.
    bool obey() {
        Command command = Command::Terminate;
        std::wstring root;
        {
            const std::lock_guard lock(m_mutex);
            command = m_pending;
            root = m_root;
        }
        if (command == Command::Terminate) {
            SetEvent(m_acknowledge);
            return false;
        }
        if (command == Command::RemoveAll) {
            closeAll();
        } else {
            for (std::size_t slot = 0; slot < kSlots; ++slot)
                if (m_slots[slot] == nullptr) {
                    const HANDLE watch = FindFirstChangeNotificationW(root.c_str(), TRUE,
                                                                      FILE_NOTIFY_CHANGE_DIR_NAME);
                    if (watch != INVALID_HANDLE_VALUE) {
                        m_slots[slot] = watch;
                        const std::lock_guard lock(m_mutex);
                        ++m_count;
                    }
                    break;
                }
        }
        SetEvent(m_acknowledge);
        return true;
    }

    void close(std::size_t slot) {
        FindCloseChangeNotification(m_slots[slot]);
        m_slots[slot] = nullptr;
        const std::lock_guard lock(m_mutex);
        --m_count;
    }

    void closeAll() {
        for (std::size_t slot = 0; slot < kSlots; ++slot)
            if (m_slots[slot] != nullptr)
                close(slot);
    }

    std::function<void()> m_notice;
    HANDLE m_command = nullptr;
    HANDLE m_acknowledge = nullptr;
    HANDLE m_thread = nullptr;
    // The worker's alone, but for the count.
    std::array<HANDLE, kSlots> m_slots{};
    mutable std::mutex m_mutex;
    Command m_pending = Command::Terminate;
    std::wstring m_root;
    std::size_t m_count = 0;
};

FolderWatch::FolderWatch(std::function<void()> notice)
    : m_worker(std::make_unique<Worker>(std::move(notice))) {}

FolderWatch::~FolderWatch() {
    // A thread that did not end keeps what it uses: a leak at exit rather than a crash.
    if (!m_worker->finish())
        static_cast<void>(m_worker.release());
}

void FolderWatch::startOver() {
    m_worker->send(Command::RemoveAll);
    // Removable and optical drives are not watched: a watch would keep their media locked.
    const DWORD drives = GetLogicalDrives();
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        if ((drives & (1u << (letter - L'A'))) == 0)
            continue;
        const std::wstring root = {letter, L':', L'\\'};
        const UINT type = GetDriveTypeW(root.c_str());
        if (type == DRIVE_FIXED || type == DRIVE_REMOTE || type == DRIVE_RAMDISK)
            m_worker->send(Command::Add, root);
    }
}

void FolderWatch::folderShown(const std::string&) {}

std::size_t FolderWatch::watchCount() const {
    return m_worker->count();
}

} // namespace vantero
