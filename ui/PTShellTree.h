#pragma once

// The folder tree of the main window's left pane: the desktop's namespace as a Linux desktop shows
// it. Its one duty towards the program is SelectedPath and the Change announcement.

#include <QTreeWidget>

#include <string>

namespace vantero {

class TPTShellTree : public QTreeWidget {
    Q_OBJECT
public:
    struct Places {
        std::string desktop; // the root's folder
        std::string home;
    };
    // The user's own desktop and home folders.
    static Places UserPlaces();

    explicit TPTShellTree(QWidget* parent = nullptr, Places places = UserPlaces());

    // The selected node's folder: no trailing separator except for "/"; "" for a virtual node or
    // when nothing is selected.
    std::string SelectedPath() const;

    // While held, selection changes are not announced.
    void LockUpdates() { ++updateLock_; }
    void UnlockUpdates() { --updateLock_; }

signals:
    void Change(); // OnChange

private:
    void Fill();
    void Populate(QTreeWidgetItem* node);
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const QString& text, const std::string& path,
                             const QIcon& icon, bool mayHaveChildren, bool hidden);

    Places places_;
    bool filling_ = false;
    int updateLock_ = 0;
};

} // namespace vantero
