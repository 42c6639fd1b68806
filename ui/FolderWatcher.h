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

    void Watch(const std::string& folder);
    void UnwatchAll();
    std::size_t WatchCount() const { return byFolder_.size(); }

signals:
    void FolderChanged(); // one notice per read of the kernel's queue

private:
    void ReadEvents();

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::map<std::string, int> byFolder_;
};

} // namespace vantero
