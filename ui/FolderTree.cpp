#include "ui/FolderTree.h"

#include "base/Failure.h"
#include "ui/ErrorGuard.h"
#include "ui/Prompts.h"

#include <QApplication>
#include <QClipboard>
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
#include <QTimer>
#include <QUrl>

#include <map>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

namespace vantero {
namespace {

// A node keeps its folder's item: what the folder services know it by.
constexpr int kIdRole = Qt::UserRole;       // QByteArray
constexpr int kPathRole = Qt::UserRole + 1; // QByteArray: the folder's bytes; null for virtual
constexpr int kPopulatedRole = Qt::UserRole + 2;
constexpr int kKeyRole = Qt::UserRole + 3;   // QByteArray
constexpr int kVerbsRole = Qt::UserRole + 4; // int: the Verb flags
constexpr int kKindRole = Qt::UserRole + 5;  // int: FolderKind
constexpr int kNameRole = Qt::UserRole + 6;  // QString: the name as listed, before any edit

enum Verb { RenameVerb = 1, DeleteVerb = 2, CopyVerb = 4 };

QByteArray bytes(const std::string& text) {
    return QByteArray::fromStdString(text);
}

FolderItem itemOf(const QTreeWidgetItem* node) {
    FolderItem item;
    if (node == nullptr)
        return item;
    item.id = node->data(0, kIdRole).toByteArray().toStdString();
    item.key = node->data(0, kKeyRole).toByteArray().toStdString();
    item.name = node->data(0, kNameRole).toString().toStdString();
    item.path = node->data(0, kPathRole).toByteArray().toStdString();
    item.kind = static_cast<FolderKind>(node->data(0, kKindRole).toInt());
    const int verbs = node->data(0, kVerbsRole).toInt();
    item.canRename = (verbs & RenameVerb) != 0;
    item.canDelete = (verbs & DeleteVerb) != 0;
    item.canCopy = (verbs & CopyVerb) != 0;
    return item;
}

void setItem(QTreeWidgetItem* node, const FolderItem& item) {
    node->setText(0, QString::fromStdString(item.name));
    node->setData(0, kNameRole, QString::fromStdString(item.name));
    node->setData(0, kIdRole, bytes(item.id));
    node->setData(0, kKeyRole, bytes(item.key));
    node->setData(0, kPathRole, item.path.empty() ? QByteArray() : bytes(item.path));
    node->setData(0, kKindRole, static_cast<int>(item.kind));
    node->setData(0, kVerbsRole,
                  (item.canRename ? RenameVerb : 0) | (item.canDelete ? DeleteVerb : 0) |
                      (item.canCopy ? CopyVerb : 0));
}

bool hasFolder(const QTreeWidgetItem* node) {
    return node != nullptr && !node->data(0, kPathRole).toByteArray().isNull();
}

QString pathText(const std::string& path) {
    return QDir::toNativeSeparators(QFile::decodeName(bytes(path)));
}

QUrl urlOf(const std::string& path) {
    return QUrl::fromLocalFile(QFile::decodeName(bytes(path)));
}

// The MIME type under which the toolkit's clipboard carries one of the platform's formats.
QString mimeTypeOf(const std::string& format) {
#ifdef _WIN32
    return QStringLiteral("application/x-qt-windows-mime;value=\"%1\"")
        .arg(QString::fromStdString(format));
#else
    return QString::fromStdString(format);
#endif
}

} // namespace

FolderTree::FolderTree(QWidget* parent, Places places)
    : QTreeWidget(parent), m_namespace(std::move(places)) {
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
    // Made once: a folder of thousands of sub-folders shares one icon.
    const QFileIconProvider icons;
    m_kindIcons = {
        icons.icon(QFileIconProvider::Desktop),
        QIcon::fromTheme(QStringLiteral("user-home"), icons.icon(QFileIconProvider::Folder)),
        icons.icon(QFileIconProvider::Computer), icons.icon(QFileIconProvider::Drive),
        icons.icon(QFileIconProvider::Folder)};
    m_debounce = new QTimer(this);
    m_debounce->setSingleShot(true);
    // The watch's thread only posts the notice; the tree takes it up on its own thread.
    m_watch = std::make_unique<FolderWatch>([this] {
        QMetaObject::invokeMethod(
            this, [this] { guard([this] { folderNotice(); }); }, Qt::QueuedConnection);
    });
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
    // Called from destructors too (the end of a pack run, of a copy): a failing refresh is told
    // here rather than thrown through them.
    if (m_deferrals > 0 && --m_deferrals == 0 && m_refreshPending)
        guard([this] { refresh(); });
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
    m_watch->startOver();
    const auto finish = [&] {
        unlockUpdates();
        setCurrentItem(remembered);
        setUpdatesEnabled(true);
        QApplication::restoreOverrideCursor();
    };
    // A folder the shell cannot read ends the walk; the tree is left as usable as before it.
    try {
        refreshNode(topLevelItem(0), remembered);
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void FolderTree::refreshNode(QTreeWidgetItem* node, QTreeWidgetItem*& remembered) {
    if (!node->data(0, kPopulatedRole).toBool())
        return;
    const FolderItem folder = itemOf(node);
    const std::vector<FolderItem> items = m_namespace.subFolders(folder);
    std::map<QByteArray, const FolderItem*> present;
    for (const FolderItem& item : items)
        present[bytes(item.key)] = &item;
    std::map<QByteArray, QTreeWidgetItem*> shown;
    for (int i = node->childCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* child = node->child(i);
        const QByteArray key = child->data(0, kKeyRole).toByteArray();
        if (present.count(key) != 0) {
            shown[key] = child;
            continue;
        }
        for (QTreeWidgetItem* up = remembered; up != nullptr; up = up->parent())
            if (up == child) {
                remembered = node;
                break;
            }
        delete child;
    }
    // Back into the folder's order, new ones among them.
    while (node->childCount() > 0)
        node->takeChild(0);
    for (const FolderItem& item : items) {
        const auto at = shown.find(bytes(item.key));
        QTreeWidgetItem* child = at != shown.end() ? at->second : makeNode(item);
        // A folder not opened yet may have gained its first sub-folder, or lost its last.
        if (!child->data(0, kPopulatedRole).toBool())
            child->setChildIndicatorPolicy(item.hasSubFolders ? QTreeWidgetItem::ShowIndicator
                                                              : QTreeWidgetItem::DontShowIndicator);
        node->addChild(child);
    }
    if (node->parent() != nullptr)
        node->setChildIndicatorPolicy(node->childCount() == 0 ? QTreeWidgetItem::DontShowIndicator
                                                              : QTreeWidgetItem::ShowIndicator);
    if (!folder.path.empty())
        m_watch->folderShown(folder.path);
    for (int i = 0; i < node->childCount(); ++i)
        refreshNode(node->child(i), remembered);
}

QTreeWidgetItem* FolderTree::makeNode(const FolderItem& folder) const {
    auto* node = new QTreeWidgetItem;
    setItem(node, folder);
    node->setIcon(0, m_kindIcons.at(static_cast<std::size_t>(folder.kind)));
    node->setChildIndicatorPolicy(folder.hasSubFolders ? QTreeWidgetItem::ShowIndicator
                                                       : QTreeWidgetItem::DontShowIndicator);
    if (folder.hidden)
        node->setForeground(0, palette().brush(QPalette::Disabled, QPalette::Text));
    return node;
}

void FolderTree::fill() {
    m_filling = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    clear();
    m_watch->startOver();
    QTreeWidgetItem* desktop = makeNode(m_namespace.root());
    addTopLevelItem(desktop);
    // Made with the main window, before any event loop: a folder the shell cannot read is told
    // now, and the tree is there regardless.
    guard([this, desktop] { populate(desktop); });
    desktop->setExpanded(true);
    setCurrentItem(desktop);
    QApplication::restoreOverrideCursor();
    m_filling = false;
}

void FolderTree::populate(QTreeWidgetItem* node) {
    if (node->data(0, kPopulatedRole).toBool())
        return;
    node->setData(0, kPopulatedRole, true);
    const FolderItem folder = itemOf(node);
    // All at once: one insertion for the view to lay out, not one per folder.
    QList<QTreeWidgetItem*> children;
    for (const FolderItem& item : m_namespace.subFolders(folder))
        children << makeNode(item);
    node->addChildren(children);
    if (!folder.path.empty())
        m_watch->folderShown(folder.path);
    if (node->parent() != nullptr && node->childCount() == 0)
        node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

void FolderTree::deleteFolder(QTreeWidgetItem* node, bool forGood) {
    const FolderItem folder = itemOf(node);
    if (!folder.canDelete)
        return;
    const QString name = node->text(0);
#ifdef _WIN32
    const QString bin = tr("Move the folder \"%1\" to the Recycle Bin?");
#else
    const QString bin = tr("Move the folder \"%1\" to the trash?");
#endif
    const QString question =
        forGood
            ? tr("Delete the folder \"%1\" and everything in it for good? This cannot be undone.")
                  .arg(name)
            : bin.arg(name);
    if (showMessage(this, tr("Confirm"), question, QMessageBox::Question,
                    QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    if (forGood)
        deleteForGood(folder.path);
    else
        moveToTrash(folder);
}

void FolderTree::copyFolder(QTreeWidgetItem* node, bool cut) {
    const FolderItem folder = itemOf(node);
    if (!folder.canCopy || (cut && !folder.canDelete))
        return;
    const QUrl url = urlOf(folder.path);
    auto* data = new QMimeData;
    data->setUrls({url});
    for (const ClipboardFormat& format : clipboardCutMarks({url.toEncoded().toStdString()}, cut))
        data->setData(mimeTypeOf(format.name), bytes(format.bytes));
    QGuiApplication::clipboard()->setMimeData(data);
}

void FolderTree::pasteIntoFolder(QTreeWidgetItem* node) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasUrls())
        return;
    const bool cut = clipboardHoldsCut(
        [data](const std::string& name) { return data->data(mimeTypeOf(name)).toStdString(); });
    putInto(node, data->urls(), cut);
    if (cut)
        QGuiApplication::clipboard()->clear();
}

void FolderTree::putInto(QTreeWidgetItem* node, const QList<QUrl>& urls, bool move) {
    if (!hasFolder(node))
        return;
    const std::string target = itemOf(node).path;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const std::string source =
            QFile::encodeName(QDir::toNativeSeparators(url.toLocalFile())).toStdString();
        const std::string destination = destinationIn(source, target);
        if (move && moveWithoutReplacing(source, destination))
            continue;
        if (copyWithProgress(source, destination) == CopyResult::Cancelled)
            return; // the user's choice: what was copied is gone again, the source untouched
        if (move) {
            try {
                deleteForGood(source);
            } catch (const Failure& failure) {
                std::string message = "Moved " + source;
                message += " to " + destination + ", but it could not be removed here: ";
                throw Failure(message + failure.reason(), failure.reason());
            }
        }
    }
}

CopyResult FolderTree::copyWithProgress(const std::string& source, const std::string& destination) {
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
    const QFileInfo from(pathText(source));
    QProgressDialog progress(
        tr("Copying %1 to %2").arg(from.fileName(), QFileInfo(pathText(destination)).path()),
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
        if (const FolderItem folder = itemOf(node); folder.canCopy)
            urls << urlOf(folder.path);
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
    if (hasFolder(node) && event->mimeData()->hasUrls())
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
    const FolderItem folder = itemOf(node);
    const auto entry = [&](const char* name, const QString& text, bool enabled, auto verb) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [verb] { guard(verb); });
    };
    entry("OpenInFileManager", tr("Open in file manager"), hasFolder(node),
          [folder] { openInFileManager(folder); });
    menu->addSeparator();
    entry("Cut", tr("Cu&t"), folder.canCopy && folder.canDelete,
          [this, node] { copyFolder(node, true); });
    entry("Copy", tr("&copy"), folder.canCopy, [this, node] { copyFolder(node, false); });
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    entry("Paste", tr("&Paste"), hasFolder(node) && clipboard != nullptr && clipboard->hasUrls(),
          [this, node] { pasteIntoFolder(node); });
    menu->addSeparator();
    entry("Delete", tr("&deleteCurrent"), folder.canDelete,
          [this, node] { deleteFolder(node, false); });
    entry("Rename", tr("Rena&me"), folder.canRename, [this, node] { beginRename(node); });
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
    const QPoint at = event->globalPosition().toPoint();
    guard([&] {
        // The shell's own menu where the platform has one, placed in the screen's own pixels; its
        // Rename is done in place here.
        const qreal scale = devicePixelRatioF();
        if (const auto choice = showShellMenu(itemOf(node), window()->winId(),
                                              qRound(at.x() * scale), qRound(at.y() * scale))) {
            if (*choice == ShellMenuChoice::Rename)
                beginRename(node);
            return;
        }
        contextMenuFor(node)->popup(at);
    });
}

bool FolderTree::beginRename(QTreeWidgetItem* node) {
    if (!itemOf(node).canRename)
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
    const FolderItem folder = itemOf(node);
    const std::string newName = node->text(0).toStdString();
    const QSignalBlocker quiet(this);
    if (newName == folder.name)
        return;
    FolderItem renamed;
    try {
        renamed = renameFolder(folder, newName);
    } catch (...) {
        node->setText(0, QString::fromStdString(folder.name));
        throw;
    }
    m_skipNextNotice = true;
    repoint(node, folder, renamed);
    setItem(node, renamed);
}

void FolderTree::repoint(QTreeWidgetItem* node, const FolderItem& from, const FolderItem& to) {
    // The ids and paths of the folders inside begin with the renamed folder's.
    for (const auto& [role, before, after] :
         {std::tuple(kIdRole, bytes(from.id), bytes(to.id)),
          std::tuple(kPathRole, bytes(from.path), bytes(to.path))}) {
        const QByteArray value = node->data(0, role).toByteArray();
        if (value.startsWith(before))
            node->setData(0, role, after + value.mid(before.size()));
    }
    for (int i = 0; i < node->childCount(); ++i)
        repoint(node->child(i), from, to);
}

bool FolderTree::selectFolder(const std::string& folder) {
    const std::optional<std::vector<std::string>> keys = m_namespace.keysTo(folder);
    if (!keys || topLevelItemCount() == 0)
        return false;
    QTreeWidgetItem* node = topLevelItem(0);
    for (const std::string& key : *keys) {
        populate(node);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount() && next == nullptr; ++i)
            if (node->child(i)->data(0, kKeyRole).toByteArray() == bytes(key))
                next = node->child(i);
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
