#include "ui/FolderTree.h"

#include "ui/ErrorGuard.h"
#include "ui/FolderCopy.h"
#include "ui/FolderWatcher.h"
#include "ui/Prompts.h"

#include <QApplication>
#include <QClipboard>
#include <QCollator>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace vantero {
namespace {

constexpr int kPathRole = Qt::UserRole; // QByteArray: the folder's bytes; null for virtual
constexpr int kPopulatedRole = Qt::UserRole + 1;
constexpr int kPlaceRole = Qt::UserRole + 2; // Home: a place, not a folder of its parent

bool isFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// The sub-folders of a folder, hidden ones included; links to folders count as folders.
std::vector<std::string> subFolders(const std::string& folder, bool firstOnly = false) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const bool folderEntry =
            entry->d_type == DT_DIR || ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) &&
                                        isFolder(join(folder, name)));
        if (!folderEntry)
            continue;
        names.push_back(name);
        if (firstOnly)
            break;
    }
    closedir(dir);
    return names;
}

// Mounted file systems a user would look at: disks, partitions and network shares, not the
// kernel's own.
std::vector<QStorageInfo> userVolumes() {
    std::vector<QStorageInfo> volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        const QByteArray type = volume.fileSystemType();
        const bool disk =
            volume.device().startsWith("/dev/") && !volume.device().startsWith("/dev/loop");
        const bool network = type.startsWith("nfs") || type == "cifs" || type == "smb3" ||
                             type.startsWith("fuse.sshfs");
        if (root == QLatin1String("/") || root.startsWith(QLatin1String("/boot")) ||
            !volume.isValid() || (!disk && !network))
            continue;
        volumes.push_back(volume);
    }
    return volumes;
}

} // namespace

FolderTree::Places FolderTree::userPlaces() {
    const QString home = QDir::homePath();
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty() || !QFileInfo(desktop).isDir())
        desktop = home;
    return {QFile::encodeName(desktop).toStdString(), QFile::encodeName(home).toStdString()};
}

FolderTree::FolderTree(QWidget* parent, Places places)
    : QTreeWidget(parent), m_places(std::move(places)) {
    setObjectName(QStringLiteral("folderTree"));
    setHeaderHidden(true);
    // Deep folders in a narrow pane scroll sideways, as a file manager's folder pane does, rather
    // than losing their names to an ellipsis.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    showSelection(false);
    setColumnCount(1);
    setIndentation(19);
    setFrameShape(QFrame::NoFrame);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    connect(this, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* node) { guard([this, node] { populate(node); }); });
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* now, QTreeWidgetItem* before) {
                if (now != before && !m_filling && m_updateLock == 0)
                    emit selectedFolderChanged();
            });
    connect(this, &QTreeWidget::itemChanged, this,
            [this](QTreeWidgetItem* node, int) { guard([this, node] { renameCommitted(node); }); });
    connect(itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
        // Escape: no rename; a refresh that waited for it runs now.
        if (QTreeWidgetItem* node = std::exchange(m_renaming, nullptr))
            node->setFlags(node->flags() & ~Qt::ItemIsEditable);
        if (m_refreshPending && m_deferrals == 0)
            QTimer::singleShot(0, this, [this] { guard([this] { refresh(); }); });
    });
    m_watcher = new FolderWatcher(this);
    m_debounce = new QTimer(this);
    m_debounce->setSingleShot(true);
    connect(m_watcher, &FolderWatcher::folderChanged, this,
            [this] { guard([this] { folderNotice(); }); });
    connect(m_debounce, &QTimer::timeout, this, [this] { guard([this] { refresh(); }); });
    fill();
}

int FolderTree::debounceMilliseconds() const {
    return hasFocus() ? 400 : 2000;
}

void FolderTree::folderNotice() {
    // Our own rename on disk is already in the tree.
    if (m_skipNextNotice) {
        m_skipNextNotice = false;
        return;
    }
    if (state() == QAbstractItemView::DraggingState)
        return;
    m_debounce->start(debounceMilliseconds());
}

void FolderTree::keyPressEvent(QKeyEvent* event) {
    m_keepSelectedInView = false;
    if (event->key() == Qt::Key_F5 && event->modifiers() == Qt::NoModifier) {
        guard([this] { refresh(); });
        return;
    }
    if (state() != EditingState) {
        const Qt::KeyboardModifiers modifiers = event->modifiers();
        const int key = event->key();
        if (key == Qt::Key_F2 && modifiers == Qt::NoModifier) {
            guard([this] { beginRename(); });
            return;
        }
        if (key == Qt::Key_Delete &&
            (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)) {
            guard([this, modifiers] { deleteFolder(modifiers == Qt::ShiftModifier); });
            return;
        }
        if (modifiers == Qt::ControlModifier &&
            (key == Qt::Key_X || key == Qt::Key_C || key == Qt::Key_V)) {
            guard([this, key] {
                if (key == Qt::Key_V)
                    pasteIntoFolder();
                else
                    copyFolder(key == Qt::Key_X);
            });
            return;
        }
    }
    QTreeWidget::keyPressEvent(event);
}

void FolderTree::deferRefreshes() {
    ++m_deferrals;
}

void FolderTree::endDeferRefreshes() {
    if (m_deferrals > 0 && --m_deferrals == 0 && m_refreshPending)
        refresh();
}

void FolderTree::refresh() {
    m_debounce->stop();
    if (m_deferrals > 0 || state() == QAbstractItemView::DraggingState ||
        state() == QAbstractItemView::EditingState) {
        m_refreshPending = true;
        return;
    }
    m_refreshPending = false;
    if (topLevelItemCount() == 0) {
        fill();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setUpdatesEnabled(false);
    QTreeWidgetItem* remembered = currentItem();
    lockUpdates();
    setCurrentItem(nullptr);
    m_watcher->unwatchAll();
    refreshNode(topLevelItem(0), remembered);
    unlockUpdates();
    setCurrentItem(remembered);
    setUpdatesEnabled(true);
    QApplication::restoreOverrideCursor();
}

void FolderTree::refreshNode(QTreeWidgetItem* node, QTreeWidgetItem*& remembered) {
    if (!node->data(0, kPopulatedRole).toBool())
        return;
    const QByteArray bytes = node->data(0, kPathRole).toByteArray();
    const bool isRoot = node->parent() == nullptr;
    if (!bytes.isNull()) {
        const std::string folder = bytes.toStdString();
        // The root keeps its places; the rest are the folder's own sub-folders.
        const int first = isRoot ? 2 : 0;
        const std::vector<std::string> names = sortedSubFolders(folder);
        const std::set<std::string> present(names.begin(), names.end());
        std::set<std::string> shown;
        for (int i = node->childCount() - 1; i >= first; --i) {
            QTreeWidgetItem* child = node->child(i);
            const std::string path = child->data(0, kPathRole).toByteArray().toStdString();
            const std::string name = path.substr(path.rfind('/') + 1);
            if (present.count(name) != 0) {
                shown.insert(name);
                continue;
            }
            for (QTreeWidgetItem* up = remembered; up != nullptr; up = up->parent())
                if (up == child) {
                    remembered = node;
                    break;
                }
            delete child;
        }
        for (const std::string& name : names)
            if (shown.count(name) == 0)
                addFolderNode(node, folder, name);
        // Back into the folder's order, new ones among them.
        QList<QTreeWidgetItem*> children;
        while (node->childCount() > first)
            children.append(node->takeChild(first));
        std::map<std::string, QTreeWidgetItem*> byName;
        for (QTreeWidgetItem* child : children) {
            const std::string path = child->data(0, kPathRole).toByteArray().toStdString();
            byName[path.substr(path.rfind('/') + 1)] = child;
        }
        for (const std::string& name : names)
            node->addChild(byName.at(name));
        if (!isRoot)
            node->setChildIndicatorPolicy(node->childCount() == 0
                                              ? QTreeWidgetItem::DontShowIndicator
                                              : QTreeWidgetItem::ShowIndicator);
        m_watcher->watch(folder);
    }
    for (int i = 0; i < node->childCount(); ++i)
        refreshNode(node->child(i), remembered);
}

QTreeWidgetItem* FolderTree::addNode(QTreeWidgetItem* parent, const QString& text,
                                     const std::string& path, const QIcon& icon,
                                     bool mayHaveChildren, bool hidden) {
    QTreeWidgetItem* node = makeNode(text, path, icon, mayHaveChildren, hidden);
    if (parent)
        parent->addChild(node);
    else
        addTopLevelItem(node);
    return node;
}

QTreeWidgetItem* FolderTree::makeNode(const QString& text, const std::string& path,
                                      const QIcon& icon, bool mayHaveChildren, bool hidden) const {
    auto* node = new QTreeWidgetItem;
    node->setText(0, text);
    node->setIcon(0, icon);
    node->setData(0, kPathRole, path.empty() ? QByteArray() : QByteArray::fromStdString(path));
    node->setChildIndicatorPolicy(mayHaveChildren ? QTreeWidgetItem::ShowIndicator
                                                  : QTreeWidgetItem::DontShowIndicator);
    if (hidden)
        node->setForeground(0, palette().brush(QPalette::Disabled, QPalette::Text));
    return node;
}

void FolderTree::fill() {
    m_filling = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    clear();
    const QFileIconProvider icons;
    QTreeWidgetItem* desktop = addNode(nullptr, tr("Desktop"), m_places.desktop,
                                       icons.icon(QFileIconProvider::Desktop), true, false);
    populate(desktop);
    desktop->setExpanded(true);
    setCurrentItem(desktop);
    QApplication::restoreOverrideCursor();
    m_filling = false;
}

void FolderTree::populate(QTreeWidgetItem* node) {
    if (node->data(0, kPopulatedRole).toBool())
        return;
    node->setData(0, kPopulatedRole, true);
    const QFileIconProvider icons;
    const QByteArray bytes = node->data(0, kPathRole).toByteArray();
    const bool isRoot = node->parent() == nullptr;

    if (isRoot) {
        // The places come first, as a desktop's side bar shows them; then the desktop's folders.
        QTreeWidgetItem* home = addNode(
            node, tr("Home"), m_places.home,
            QIcon::fromTheme(QStringLiteral("user-home"), icons.icon(QFileIconProvider::Folder)),
            !subFolders(m_places.home, true).empty(), false);
        home->setData(0, kPlaceRole, true);
        addNode(node, tr("Computer"), {}, icons.icon(QFileIconProvider::Computer), true, false);
    } else if (bytes.isNull()) {
        // Computer: the root of the file system and the mounted volumes.
        addNode(node, QStringLiteral("/"), "/", icons.icon(QFileIconProvider::Drive), true, false);
        for (const QStorageInfo& volume : userVolumes()) {
            const std::string root = QFile::encodeName(volume.rootPath()).toStdString();
            const QString name =
                volume.displayName().isEmpty() ? volume.rootPath() : volume.displayName();
            addNode(node, name, root, icons.icon(QFileIconProvider::Drive),
                    !subFolders(root, true).empty(), false);
        }
        return;
    }
    const std::string folder = bytes.toStdString();
    // All at once: one insertion for the view to lay out, not one per folder.
    QList<QTreeWidgetItem*> children;
    const QIcon folderIcon = icons.icon(QFileIconProvider::Folder);
    for (const std::string& name : sortedSubFolders(folder))
        children << makeFolderNode(folder, name, folderIcon);
    node->addChildren(children);
    m_watcher->watch(folder);
    if (!isRoot && node->childCount() == 0)
        node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

std::string FolderTree::operablePath(const QTreeWidgetItem* node) const {
    if (node == nullptr || node->parent() == nullptr ||
        node->parent()->data(0, kPathRole).isNull() ||
        node->data(0, kPathRole).toByteArray().isNull() || node->data(0, kPlaceRole).toBool())
        return {};
    return node->data(0, kPathRole).toByteArray().toStdString();
}

void FolderTree::deleteFolder(QTreeWidgetItem* node, bool forGood) {
    const std::string path = operablePath(node);
    if (path.empty())
        return;
    const QString name = node->text(0);
    const QString question =
        forGood
            ? tr("Delete the folder \"%1\" and everything in it for good? This cannot be undone.")
                  .arg(name)
            : tr("Move the folder \"%1\" to the trash?").arg(name);
    if (showMessage(this, tr("Confirm"), question, QMessageBox::Question,
                    QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    if (!forGood) {
        // The freedesktop trash, so the file manager can put it back. Qt needs the data folder
        // that holds the home trash to exist; without it, it writes the trash's record elsewhere.
        QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
        if (!QFile::moveToTrash(QFile::decodeName(QByteArray::fromStdString(path))))
            throw std::runtime_error("Cannot move " + path + " to the trash");
        return;
    }
    std::error_code error;
    std::filesystem::remove_all(path, error);
    if (error)
        throw std::runtime_error("Cannot delete " + path + ": " + error.message());
}

void FolderTree::copyFolder(QTreeWidgetItem* node, bool cut) {
    const std::string path = operablePath(node);
    if (path.empty())
        return;
    const QUrl url = QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path)));
    auto* data = new QMimeData;
    data->setUrls({url});
    // What GNOME and KDE file managers read to tell a cut from a copy.
    data->setData(QStringLiteral("x-special/gnome-copied-files"),
                  (cut ? QByteArray("cut\n") : QByteArray("copy\n")) + url.toEncoded());
    data->setData(QStringLiteral("application/x-kde-cutselection"), cut ? "1" : "0");
    QGuiApplication::clipboard()->setMimeData(data);
}

void FolderTree::pasteIntoFolder(QTreeWidgetItem* node) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasUrls())
        return;
    const bool cut = data->data(QStringLiteral("x-special/gnome-copied-files")).startsWith("cut") ||
                     data->data(QStringLiteral("application/x-kde-cutselection")) == "1";
    putInto(node, data->urls(), cut);
    if (cut)
        QGuiApplication::clipboard()->clear();
}

void FolderTree::putInto(QTreeWidgetItem* node, const QList<QUrl>& urls, bool move) {
    if (node == nullptr || node->data(0, kPathRole).toByteArray().isNull())
        return;
    const std::filesystem::path target = node->data(0, kPathRole).toByteArray().toStdString();
    const bool cut = move;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const std::filesystem::path source = QFile::encodeName(url.toLocalFile()).toStdString();
        const std::filesystem::path destination = target / source.filename();
        const std::string sourceText = std::filesystem::weakly_canonical(source).string();
        const std::string targetText = std::filesystem::weakly_canonical(target).string() + "/";
        if (targetText.rfind(sourceText + "/", 0) == 0)
            throw std::runtime_error("Cannot put " + source.string() + " inside itself");
        if (std::filesystem::exists(std::filesystem::symlink_status(destination)))
            throw std::runtime_error("Cannot paste " + source.string() + ": " +
                                     destination.string() + " exists already");
        if (cut && renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(),
                             RENAME_NOREPLACE) == 0)
            continue;
        if (copyWithProgress(source, destination) == CopyResult::Cancelled)
            return; // the user's choice: what was copied is gone again, the source untouched
        if (cut) {
            std::error_code error;
            std::filesystem::remove_all(source, error);
            if (error)
                throw std::runtime_error("Moved " + source.string() + " to " +
                                         destination.string() +
                                         ", but it could not be removed here: " + error.message());
        }
    }
}

CopyResult FolderTree::copyWithProgress(const std::filesystem::path& source,
                                        const std::filesystem::path& destination) {
    // The copy's own folders must not set a refresh off half-way; it runs when the copy is over.
    deferRefreshes();
    struct Undefer {
        FolderTree* tree;
        ~Undefer() { tree->endDeferRefreshes(); }
    } undefer{this};
    const std::uint64_t total = bytesToCopy(source);
    if (total < kProgressBytes) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        struct RestoreCursor {
            ~RestoreCursor() { QGuiApplication::restoreOverrideCursor(); }
        } restore;
        return copyInto(source, destination, {});
    }
    QProgressDialog progress(tr("Copying %1 to %2")
                                 .arg(QFile::decodeName(source.filename().c_str()),
                                      QFile::decodeName(destination.parent_path().c_str())),
                             tr("Cancel"), 0, kProgressSteps, this);
    progress.setObjectName(QStringLiteral("CopyProgress"));
    progress.setWindowTitle(tr("Copying"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    return copyInto(source, destination, [&](std::uint64_t done, std::uint64_t all) {
        // setValue lets the dialog's own events through, so Cancel is seen between chunks.
        progress.setValue(static_cast<int>(all == 0 ? 0 : done * kProgressSteps / all));
        return !progress.wasCanceled();
    });
}

QMimeData* FolderTree::mimeData(const QList<QTreeWidgetItem*>& nodes) const {
    QList<QUrl> urls;
    for (const QTreeWidgetItem* node : nodes)
        if (const std::string path = operablePath(node); !path.empty())
            urls << QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path)));
    if (urls.isEmpty())
        return nullptr;
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

QStringList FolderTree::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

Qt::DropActions FolderTree::supportedDropActions() const {
    return Qt::CopyAction | Qt::MoveAction;
}

void FolderTree::startDrag(Qt::DropActions actions) {
    QTreeWidget::startDrag(actions);
    // A refresh that came due during the drag runs now.
    if (m_refreshPending && m_deferrals == 0)
        guard([this] { refresh(); });
}

void FolderTree::dragMoveEvent(QDragMoveEvent* event) {
    QTreeWidgetItem* node = itemAt(event->position().toPoint());
    if (node != nullptr && !node->data(0, kPathRole).toByteArray().isNull() &&
        event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void FolderTree::dropEvent(QDropEvent* event) {
    // The files go on disk; the tree follows through its watch, never by moving its own nodes.
    QTreeWidgetItem* node = itemAt(event->position().toPoint());
    event->acceptProposedAction();
    guard([&] { dropOn(node, event->mimeData(), event->dropAction()); });
}

void FolderTree::dropOn(QTreeWidgetItem* node, const QMimeData* data, Qt::DropAction action) {
    if (data != nullptr && data->hasUrls())
        putInto(node, data->urls(), action == Qt::MoveAction);
}

QMenu* FolderTree::contextMenuFor(QTreeWidgetItem* node) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool operable = !operablePath(node).empty();
    const bool folder = node != nullptr && !node->data(0, kPathRole).toByteArray().isNull();
    const auto entry = [&](const char* name, const QString& text, bool enabled, auto verb) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [verb] { guard(verb); });
    };
    entry("OpenInFileManager", tr("Open in file manager"), folder, [node] {
        QDesktopServices::openUrl(
            QUrl::fromLocalFile(QFile::decodeName(node->data(0, kPathRole).toByteArray())));
    });
    menu->addSeparator();
    entry("Cut", tr("Cu&t"), operable, [this, node] { copyFolder(node, true); });
    entry("Copy", tr("&copy"), operable, [this, node] { copyFolder(node, false); });
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    entry("Paste", tr("&Paste"), folder && clipboard != nullptr && clipboard->hasUrls(),
          [this, node] { pasteIntoFolder(node); });
    menu->addSeparator();
    entry("Delete", tr("&deleteCurrent"), operable, [this, node] { deleteFolder(node, false); });
    entry("Rename", tr("Rena&me"), operable, [this, node] { beginRename(node); });
    return menu;
}

void FolderTree::mousePressEvent(QMouseEvent* event) {
    m_keepSelectedInView = false;
    if (event->button() != Qt::RightButton) {
        QTreeWidget::mousePressEvent(event);
        return;
    }
    // The shell's way: the menu is for the clicked node; the selection does not move.
    QTreeWidgetItem* node = itemAt(event->position().toPoint());
    if (node == nullptr || node->parent() == nullptr)
        return;
    contextMenuFor(node)->popup(event->globalPosition().toPoint());
}

bool FolderTree::beginRename(QTreeWidgetItem* node) {
    if (operablePath(node).empty())
        return false;
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    m_renaming = node; // after the flag change, which itself reports the item as changed
    editItem(node, 0);
    return true;
}

void FolderTree::renameCommitted(QTreeWidgetItem* node) {
    if (node != m_renaming)
        return;
    m_renaming = nullptr;
    node->setFlags(node->flags() & ~Qt::ItemIsEditable);
    const std::string from = node->data(0, kPathRole).toByteArray().toStdString();
    const std::string folder = from.substr(0, from.rfind('/'));
    const std::string oldName = from.substr(from.rfind('/') + 1);
    const std::string newName = QFile::encodeName(node->text(0)).toStdString();
    const QSignalBlocker quiet(this);
    if (newName == oldName)
        return;
    const auto putBack = [&] {
        node->setText(0, QFile::decodeName(QByteArray::fromStdString(oldName)));
    };
    if (newName.empty() || newName == "." || newName == ".." ||
        newName.find('/') != std::string::npos) {
        putBack();
        throw std::runtime_error("A folder name cannot be empty or contain /");
    }
    const std::string to = join(folder.empty() ? "/" : folder, newName);
    // Never over another folder or file of that name.
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        const int error = errno;
        putBack();
        throw std::runtime_error("Cannot rename " + from + ": " + std::strerror(error));
    }
    m_skipNextNotice = true;
    repointPaths(node, from, to);
}

void FolderTree::repointPaths(QTreeWidgetItem* node, const std::string& from,
                              const std::string& to) {
    const std::string path = node->data(0, kPathRole).toByteArray().toStdString();
    if (path.compare(0, from.size(), from) == 0)
        node->setData(0, kPathRole, QByteArray::fromStdString(to + path.substr(from.size())));
    for (int i = 0; i < node->childCount(); ++i)
        repointPaths(node->child(i), from, to);
}

std::vector<std::string> FolderTree::sortedSubFolders(const std::string& folder) const {
    const std::vector<std::string> names = subFolders(folder);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // A key per name, made once: comparing through the collator decodes both names every time.
    // Sort keys ignore the collator's case setting, so the names are case-folded first.
    std::vector<std::pair<QCollatorSortKey, std::size_t>> keys;
    keys.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        keys.emplace_back(
            collator.sortKey(QFile::decodeName(QByteArray::fromStdString(names[i])).toCaseFolded()),
            i);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (const auto& key : keys)
        sorted.push_back(names[key.second]);
    return sorted;
}

QTreeWidgetItem* FolderTree::makeFolderNode(const std::string& folder, const std::string& name,
                                            const QIcon& icon) const {
    const std::string path = join(folder, name);
    return makeNode(QFile::decodeName(QByteArray::fromStdString(name)), path, icon,
                    !subFolders(path, true).empty(), name.front() == '.');
}

void FolderTree::addFolderNode(QTreeWidgetItem* parent, const std::string& folder,
                               const std::string& name) {
    parent->addChild(
        makeFolderNode(folder, name, QFileIconProvider().icon(QFileIconProvider::Folder)));
}

bool FolderTree::selectFolder(const std::string& folder) {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(folder, error);
    if (error || topLevelItemCount() == 0)
        return false;
    // The deepest place that holds the folder: the desktop, the home folder, or the file system's
    // root under Computer.
    QTreeWidgetItem* root = topLevelItem(0);
    populate(root);
    QTreeWidgetItem* computer = root->child(1);
    populate(computer);
    QTreeWidgetItem* base = nullptr;
    std::filesystem::path rest;
    std::size_t depth = 0;
    for (QTreeWidgetItem* place : {root, root->child(0), computer->child(0)}) {
        const std::filesystem::path at = std::filesystem::canonical(
            place->data(0, kPathRole).toByteArray().toStdString(), error);
        if (error)
            continue;
        const std::filesystem::path relative = target.lexically_relative(at);
        const std::size_t parts = std::distance(at.begin(), at.end());
        if (!relative.empty() && *relative.begin() != ".." && (base == nullptr || parts > depth)) {
            base = place;
            rest = relative;
            depth = parts;
        }
    }
    if (base == nullptr)
        return false;
    QTreeWidgetItem* node = base;
    for (const std::filesystem::path& name : rest) {
        if (name == ".")
            continue;
        populate(node);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount() && next == nullptr; ++i) {
            const std::string path = node->child(i)->data(0, kPathRole).toByteArray().toStdString();
            if (!node->child(i)->data(0, kPlaceRole).toBool() &&
                path.substr(path.rfind('/') + 1) == name.string())
                next = node->child(i);
        }
        if (next == nullptr)
            return false;
        node = next;
    }
    for (QTreeWidgetItem* up = node->parent(); up != nullptr; up = up->parent())
        up->setExpanded(true);
    setFocus(Qt::OtherFocusReason);
    setCurrentItem(node);
    m_keepSelectedInView = true;
    scrollSelectedIntoView();
    return true;
}

void FolderTree::scrollSelectedIntoView() {
    QTreeWidgetItem* node = currentItem();
    if (node == nullptr)
        return;
    scrollToItem(node);
    // Sideways too, so that the name shows and not the indentation of its ancestors.
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + visualItemRect(node).left() -
                                    indentation());
}

void FolderTree::showSelection(bool shown) {
    // The selection shows only while the tree has the focus, as in the shell's folder pane.
    QPalette colours = QApplication::palette(this);
    if (!shown)
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            colours.setBrush(group, QPalette::Highlight, colours.brush(group, QPalette::Base));
            colours.setBrush(group, QPalette::HighlightedText,
                             colours.brush(group, QPalette::Text));
        }
    setPalette(colours);
}

void FolderTree::focusInEvent(QFocusEvent* event) {
    showSelection(true);
    QTreeWidget::focusInEvent(event);
}

void FolderTree::focusOutEvent(QFocusEvent* event) {
    showSelection(false);
    QTreeWidget::focusOutEvent(event);
}

void FolderTree::resizeEvent(QResizeEvent* event) {
    QTreeWidget::resizeEvent(event);
    if (m_keepSelectedInView)
        scrollSelectedIntoView();
}

std::string FolderTree::selectedPath() const {
    const QTreeWidgetItem* node = currentItem();
    if (node == nullptr)
        return {};
    return node->data(0, kPathRole).toByteArray().toStdString();
}

} // namespace vantero
