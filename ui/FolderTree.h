#pragma once

// The folder tree of the main window's left pane: the platform shell's namespace of folders, as its
// file manager's folder pane shows it. Its one duty towards the program is selectedPath() and the
// announcement of each change of the selected folder. The folders themselves, their order, the
// verbs on them and the watch are the folder services' (folders/); the tree has the view, the keys,
// the menu, drag and drop, and when to refresh.

#include "folders/FolderServices.h"

#include <QTreeWidget>

#include <string>
#include <vector>

class QMenu;
class QTimer;

namespace vantero {

class FolderTree : public QTreeWidget {
    Q_OBJECT
public:
    // The desktop and home folders of the namespace on Linux; Windows has the shell's own.
    using Places = FolderNamespace::Places;

    explicit FolderTree(QWidget* parent = nullptr, Places places = FolderNamespace::userPlaces());

    // The selected node's folder: no trailing separator except on a root ("/", "C:\"), a network
    // share in its UNC form; "" for a virtual node or when nothing is selected.
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
    // places, drives or virtual nodes.
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
    // Where the platform's shell has a menu of its own (Windows) a right click shows that one.
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
    void deleteFolder(QTreeWidgetItem* node, bool forGood);
    void copyFolder(QTreeWidgetItem* node, bool cut);
    void pasteIntoFolder(QTreeWidgetItem* node);
    // Copies (or moves) the files and folders into the node's folder; never over a name.
    void putInto(QTreeWidgetItem* node, const QList<QUrl>& urls, bool move);
    static constexpr int kProgressSteps = 1000;
    CopyResult copyWithProgress(const std::string& source, const std::string& destination);
    void repoint(QTreeWidgetItem* node, const FolderItem& from, const FolderItem& to);
    QTreeWidgetItem* makeNode(const FolderItem& folder) const;

    FolderNamespace m_namespace;
    std::vector<QIcon> m_kindIcons; // by FolderKind
    bool m_filling = false;
    int m_updateLock = 0;
    std::unique_ptr<FolderWatch> m_watch;
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
