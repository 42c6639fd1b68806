#pragma once

// Tells the tree when a folder appears, goes or is renamed inside any folder it shows. File
// changes are not reported: a pack writing into a listed folder must not refresh anything.

#include <QObject>

#include <map>
#include <string>

class QSocketNotifier;

namespace vantero {

class FolderWatcher : public QObject {
    Q_OBJECT
public:
    explicit FolderWatcher(QObject* parent = nullptr);
    ~FolderWatcher() override;

    void watch(const std::string& folder);
    void unwatchAll();
    std::size_t watchCount() const { return m_byFolder.size(); }

signals:
    void folderChanged(); // one notice per read of the kernel's queue

private:
    void readEvents();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::map<std::string, int> m_byFolder;
};

} // namespace vantero
