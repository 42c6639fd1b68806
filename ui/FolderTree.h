#pragma once

// The folder tree of the main window's left pane: the desktop's namespace as a Linux desktop shows
// it. Its one duty towards the program is selectedPath() and the announcement of each change of the
// selected folder.

#include "ui/FolderCopy.h"

#include <QTreeWidget>

#include <filesystem>
#include <string>
#include <vector>

class QMenu;
class QTimer;

namespace vantero {

class FolderWatcher;

class FolderTree : public QTreeWidget {
    Q_OBJECT
public:
    struct Places {
        std::string desktop; // the root's folder
        std::string home;
    };
    // The user's own desktop and home folders.
    static Places userPlaces();

    explicit FolderTree(QWidget* parent = nullptr, Places places = userPlaces());

    // The selected node's folder: no trailing separator except for "/"; "" for a virtual node or
    // when nothing is selected.
    std::string selectedPath() const;

    // While held, selection changes are not announced.
    void lockUpdates() { ++m_updateLock; }
    void unlockUpdates() { --m_updateLock; }

    // Expands the nodes down to the folder and selects it, announced, as a click on it would; the
    // tree takes the focus. False, with nothing changed, when the folder is not in the tree.
    bool selectFolder(const std::string& folder);

    // Brings the tree in line with the disk and selects the selected node again, announced. While
    // refreshes are deferred (the message window is shown, a drag or a rename runs) it only
    // marks itself pending and runs when the last deferral ends.
    void refresh();
    void deferRefreshes();
    void endDeferRefreshes();
    bool refreshPending() const { return m_refreshPending; }
    // Renames the selected folder in place (F2): not the root, not a virtual node. False when
    // the node cannot be renamed.
    bool beginRename() { return beginRename(currentItem()); }

    // What a drag of the nodes carries: their folders as file URLs; nothing for the root,
    // places or virtual nodes.
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& nodes) const override;
    // What a drop on the node does: its URLs copied, or moved, into the node's folder.
    void dropOn(QTreeWidgetItem* node, const QMimeData* data, Qt::DropAction action);
    bool beginRename(QTreeWidgetItem* node);

    // The folder verbs on the selected node (Del, Shift+Del, Ctrl+X, Ctrl+C, Ctrl+V). The
    // destructive ones ask first; a failure is an exception with a message for the error box, and
    // changes nothing. The tree follows through its folder watch, as it does for any other program.
    void deleteFolder(bool forGood) { deleteFolder(currentItem(), forGood); }
    void copyFolder(bool cut) { copyFolder(currentItem(), cut); }
    void pasteIntoFolder() { pasteIntoFolder(currentItem()); }

    // The menu of a right-clicked node, which need not be the selected one: the selection stays.
    // Its entries have object names for tests: Rename, Cut, Copy, Paste, Delete, OpenInFileManager.
    QMenu* contextMenuFor(QTreeWidgetItem* node);

    // A paste or drop of this many bytes or more shows its progress and can be cancelled.
    static constexpr std::uint64_t kProgressBytes = 16u << 20;

    // How long after the last folder notice the refresh comes: sooner when the user is here.
    int debounceMilliseconds() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Drag out and drop in as text/uri-list, as file managers do.
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;
    void startDrag(Qt::DropActions actions) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

signals:
    // The selected node changed, by the user or by a refresh that selected it again; not while the
    // tree is being filled or its updates are locked.
    void selectedFolderChanged();

private:
    void fill();
    void populate(QTreeWidgetItem* node);
    void refreshNode(QTreeWidgetItem* node, QTreeWidgetItem*& remembered);
    void folderNotice();
    void renameCommitted(QTreeWidgetItem* node);
    // The selected node's folder when it is one the verbs may act on: not the root, not a place,
    // not a virtual node or a volume's root.
    std::string operablePath(const QTreeWidgetItem* node) const;
    void deleteFolder(QTreeWidgetItem* node, bool forGood);
    void copyFolder(QTreeWidgetItem* node, bool cut);
    void pasteIntoFolder(QTreeWidgetItem* node);
    // Copies (or moves) the files and folders into the node's folder; never over a name.
    void putInto(QTreeWidgetItem* node, const QList<QUrl>& urls, bool move);
    static constexpr int kProgressSteps = 1000;
    CopyResult copyWithProgress(const std::filesystem::path& source,
                                const std::filesystem::path& destination);
    void repointPaths(QTreeWidgetItem* node, const std::string& from, const std::string& to);
    std::vector<std::string> sortedSubFolders(const std::string& folder) const;
    void addFolderNode(QTreeWidgetItem* parent, const std::string& folder, const std::string& name);
    QTreeWidgetItem* makeNode(const QString& text, const std::string& path, const QIcon& icon,
                              bool mayHaveChildren, bool hidden) const;
    QTreeWidgetItem* makeFolderNode(const std::string& folder, const std::string& name,
                                    const QIcon& icon) const;
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& text, const std::string& path,
                             const QIcon& icon, bool mayHaveChildren, bool hidden);

    Places m_places;
    bool m_filling = false;
    int m_updateLock = 0;
    FolderWatcher* m_watcher = nullptr;
    QTimer* m_debounce = nullptr;
    int m_deferrals = 0;
    bool m_refreshPending = false;
    bool m_skipNextNotice = false;
    QTreeWidgetItem* m_renaming = nullptr;
    // Set by selectFolder until the user acts: the window's first layouts keep the node in view.
    bool m_keepSelectedInView = false;
    void scrollSelectedIntoView();
    void showSelection(bool shown);
};

} // namespace vantero
