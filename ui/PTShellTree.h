#pragma once

// The folder tree of the main window's left pane: the desktop's namespace as a Linux desktop shows
// it. Its one duty towards the program is SelectedPath and the Change announcement.

#include "ui/FolderCopy.h"

#include <QTreeWidget>

#include <filesystem>
#include <string>
#include <vector>

class QMenu;
class QTimer;

namespace vantero {

class FolderWatcher;

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

    // Brings the tree in line with the disk and selects the selected node again, announced. While
    // refreshes are deferred (the message window is shown, a drag or a rename runs) it only
    // marks itself pending and runs when the last deferral ends.
    void Refresh();
    void DeferRefreshes();
    void EndDeferRefreshes();
    bool RefreshPending() const { return refreshPending_; }
    // Renames the selected folder in place (F2): not the root, not a virtual node. False when
    // the node cannot be renamed.
    bool BeginRename() { return BeginRename(currentItem()); }

    // What a drag of the nodes carries: their folders as file URLs; nothing for the root,
    // places or virtual nodes.
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& nodes) const override;
    // What a drop on the node does: its URLs copied, or moved, into the node's folder.
    void DropOn(QTreeWidgetItem* node, const QMimeData* data, Qt::DropAction action);
    bool BeginRename(QTreeWidgetItem* node);

    // The folder verbs on the selected node (Del, Shift+Del, Ctrl+X, Ctrl+C, Ctrl+V). The
    // destructive ones ask first; a failure is an exception with a message for the error box, and
    // changes nothing. The tree follows through its folder watch, as it does for any other program.
    void DeleteFolder(bool forGood) { DeleteFolder(currentItem(), forGood); }
    void CopyFolder(bool cut) { CopyFolder(currentItem(), cut); }
    void PasteIntoFolder() { PasteIntoFolder(currentItem()); }

    // The menu of a right-clicked node, which need not be the selected one: the selection stays.
    // Its entries have object names for tests: Rename, Cut, Copy, Paste, Delete, OpenInFileManager.
    QMenu* ContextMenuFor(QTreeWidgetItem* node);

    // A paste or drop of this many bytes or more shows its progress and can be cancelled.
    static constexpr std::uint64_t kProgressBytes = 16u << 20;

    // How long after the last folder notice the refresh comes: sooner when the user is here.
    int DebounceMilliseconds() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // Drag out and drop in as text/uri-list, as file managers do.
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;
    void startDrag(Qt::DropActions actions) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

signals:
    void Change(); // OnChange

private:
    void Fill();
    void Populate(QTreeWidgetItem* node);
    void RefreshNode(QTreeWidgetItem* node, QTreeWidgetItem*& remembered);
    void FolderNotice();
    void RenameCommitted(QTreeWidgetItem* node);
    // The selected node's folder when it is one the verbs may act on: not the root, not a place,
    // not a virtual node or a volume's root.
    std::string OperablePath(const QTreeWidgetItem* node) const;
    void DeleteFolder(QTreeWidgetItem* node, bool forGood);
    void CopyFolder(QTreeWidgetItem* node, bool cut);
    void PasteIntoFolder(QTreeWidgetItem* node);
    // Copies (or moves) the files and folders into the node's folder; never over a name.
    void PutInto(QTreeWidgetItem* node, const QList<QUrl>& urls, bool move);
    static constexpr int kProgressSteps = 1000;
    CopyResult CopyWithProgress(const std::filesystem::path& source,
                                const std::filesystem::path& destination);
    void RepointPaths(QTreeWidgetItem* node, const std::string& from, const std::string& to);
    std::vector<std::string> SortedSubFolders(const std::string& folder) const;
    void AddFolderNode(QTreeWidgetItem* parent, const std::string& folder, const std::string& name);
    QTreeWidgetItem* MakeNode(const QString& text, const std::string& path, const QIcon& icon,
                              bool mayHaveChildren, bool hidden) const;
    QTreeWidgetItem* MakeFolderNode(const std::string& folder, const std::string& name,
                                    const QIcon& icon) const;
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const QString& text, const std::string& path,
                             const QIcon& icon, bool mayHaveChildren, bool hidden);

    Places places_;
    bool filling_ = false;
    int updateLock_ = 0;
    FolderWatcher* watcher_ = nullptr;
    QTimer* debounce_ = nullptr;
    int deferrals_ = 0;
    bool refreshPending_ = false;
    bool skipNextNotice_ = false;
    QTreeWidgetItem* renaming_ = nullptr;
};

} // namespace vantero
