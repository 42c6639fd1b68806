// The folder tree over a desktop and a home folder of the test's own: the namespace, the selected
// path, when a change is announced, and the folder verbs on disk.

#include "ui/FolderTree.h"
#include "tests/support/TempFolder.h"
#include "ui/Prompts.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>

namespace vantero {
namespace {

namespace fs = std::filesystem;

QTreeWidgetItem* child(QTreeWidgetItem* node, const QString& text) {
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == text)
            return node->child(i);
    return nullptr;
}

QStringList texts(QTreeWidgetItem* node) {
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i)
        texts << node->child(i)->text(0);
    return texts;
}

class FolderTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"desktop/beta", "desktop/Alpha/inner", "desktop/.hidden", "home"})
            fs::create_directories(folder.file(name));
        test::writeBytes(folder.file("desktop/roads.tab"), "!table\n");
        tree = std::make_unique<FolderTree>(
            nullptr, FolderTree::Places{folder.file("desktop"), folder.file("home")});
        spy = std::make_unique<QSignalSpy>(tree.get(), &FolderTree::selectedFolderChanged);
        tree->resize(300, 400);
        tree->show();
        root = tree->topLevelItem(0);
    }
    bool has(const char* path) const { return fs::exists(folder.file(path)); }
    // The key on the desktop's folder of this name (the root for "").
    void keyOn(const char* name, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        tree->setCurrentItem(*name ? child(root, name) : root);
        QTest::keyClick(tree.get(), key, modifiers);
    }
    void renameTo(const char* name) {
        QTest::keyClick(tree.get(), Qt::Key_F2);
        QLineEdit* editor = tree->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        QTest::keySequence(editor, QKeySequence::SelectAll);
        QTest::keyClicks(editor, name);
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::qWait(50); // the editor commits and goes on the next turn of the loop
    }
    test::TempFolder folder;
    PromptScript prompts;
    std::unique_ptr<FolderTree> tree;
    std::unique_ptr<QSignalSpy> spy;
    QTreeWidgetItem* root = nullptr;
};

TEST_F(FolderTreeTest, LoadsWithTheDesktopSelectedAndAnnouncesEveryChangeAfter) {
    EXPECT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(root->text(0), QStringLiteral("Desktop"));
    EXPECT_TRUE(root->isExpanded() && tree->currentItem() == root);
    EXPECT_EQ(tree->selectedPath(), folder.file("desktop"));
    // The places, then the desktop's folders (hidden ones too, no files) in a person's order.
    EXPECT_EQ(texts(root), (QStringList{"Home", "Computer", ".hidden", "Alpha", "beta"}));
    EXPECT_NE(child(root, ".hidden")->foreground(0).color(),
              child(root, "Alpha")->foreground(0).color());
    EXPECT_EQ(child(root, "Alpha")->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(child(root, "beta")->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    tree->setCurrentItem(root); // already selected: nothing
    EXPECT_EQ(spy->count(), 0);
    QTreeWidgetItem* computer = child(root, "Computer");
    tree->setCurrentItem(computer);
    EXPECT_EQ(spy->count(), 1);
    EXPECT_EQ(tree->selectedPath(), "");
    computer->setExpanded(true);
    ASSERT_NE(child(computer, "/"), nullptr);
    tree->setCurrentItem(child(computer, "/"));
    EXPECT_EQ(tree->selectedPath(), "/");
    QTreeWidgetItem* alpha = child(root, "Alpha");
    tree->setCurrentItem(alpha);
    EXPECT_EQ(tree->selectedPath(), folder.file("desktop/Alpha"));
    alpha->setExpanded(true);
    EXPECT_EQ(texts(alpha), QStringList{"inner"});
    EXPECT_EQ(child(alpha, "inner")->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    const int before = spy->count();
    tree->setFocus();
    QTest::keyClick(tree.get(), Qt::Key_Down); // every node passed is announced
    QTest::keyClick(tree.get(), Qt::Key_Down);
    EXPECT_EQ(spy->count(), before + 2);
    EXPECT_EQ(tree->selectedPath(), folder.file("desktop/beta"));
    tree->lockUpdates();
    tree->setCurrentItem(root);
    tree->unlockUpdates();
    EXPECT_EQ(spy->count(), before + 2);
}

// The selected node is highlighted only while the tree has the focus.
TEST_F(FolderTreeTest, TheSelectionShowsOnlyWhileTheTreeHasTheFocus) {
    QWidget window;
    QLineEdit elsewhere(&window);
    tree->setParent(&window);
    window.show();
    QApplication::setActiveWindow(&window);
    const auto highlight = [&](QPalette::ColorRole role) {
        return tree->palette().color(QPalette::Active, QPalette::Highlight) ==
               QApplication::palette().color(QPalette::Active, role);
    };
    tree->setFocus();
    EXPECT_TRUE(highlight(QPalette::Highlight));
    elsewhere.setFocus();
    EXPECT_TRUE(highlight(QPalette::Base));
    tree->setParent(nullptr);
}

// Folder notices refresh the tree once, after the quiet time; files never do; a deferred refresh
// waits for the end of the deferral; a refresh mends the expander of a folder not opened yet.
TEST_F(FolderTreeTest, FolderChangesRefreshOnceAndFilesNever) {
    tree->setFocus();
    tree->setCurrentItem(child(root, "beta"));
    const int before = spy->count();
    test::writeBytes(folder.file("desktop/beta/roads.tab"), "!table\n"); // a file: no refresh
    test::writeBytes(folder.file("desktop/new.tab"), "!table\n");
    QTest::qWait(1000); // past the 400 ms a refresh would wait with the tree in focus
    EXPECT_EQ(spy->count(), before);
    fs::create_directory(folder.file("desktop/Gamma"));
    fs::create_directory(folder.file("desktop/Delta"));
    fs::remove(folder.file("desktop/Alpha/inner"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return spy->count() > before; }, 5000));
    QTest::qWait(1000);
    EXPECT_EQ(spy->count(), before + 1); // one refresh for the burst, its re-selection announced
    EXPECT_EQ(texts(root),
              (QStringList{"Home", "Computer", ".hidden", "Alpha", "beta", "Delta", "Gamma"}));
    EXPECT_EQ(tree->selectedPath(), folder.file("desktop/beta"));
    EXPECT_EQ(child(root, "Alpha")->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    // The selected folder goes: its parent is selected instead.
    fs::remove_all(folder.file("desktop/beta"));
    fs::create_directory(folder.file("desktop/Gamma/inner"));
    tree->deferRefreshes();
    QTest::qWait(1000);
    EXPECT_TRUE(tree->refreshPending() && spy->count() == before + 1);
    tree->endDeferRefreshes();
    EXPECT_FALSE(tree->refreshPending());
    EXPECT_EQ(spy->count(), before + 2);
    EXPECT_EQ(tree->selectedPath(), folder.file("desktop"));
    EXPECT_EQ(child(root, "beta"), nullptr);
    EXPECT_EQ(child(root, "Gamma")->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    QTest::keyClick(tree.get(), Qt::Key_F5); // refreshes at once
    EXPECT_EQ(spy->count(), before + 3);
}

TEST_F(FolderTreeTest, RenameInPlaceOnDiskAndRefusals) {
    tree->setFocus();
    EXPECT_FALSE(tree->beginRename()); // neither the root nor a place
    tree->setCurrentItem(child(root, "Home"));
    EXPECT_FALSE(tree->beginRename());
    QTreeWidgetItem* alpha = child(root, "Alpha");
    alpha->setExpanded(true);
    tree->setCurrentItem(alpha);
    const int before = spy->count();
    renameTo("Omega");
    EXPECT_TRUE(has("desktop/Omega/inner") && !has("desktop/Alpha"));
    EXPECT_EQ(alpha->text(0), QStringLiteral("Omega"));
    EXPECT_EQ(tree->selectedPath(), folder.file("desktop/Omega"));
    tree->setCurrentItem(child(alpha, "inner"));
    EXPECT_EQ(tree->selectedPath(), folder.file("desktop/Omega/inner"));
    QTest::qWait(1000); // the rename's own notice is skipped: no refresh, no announcement
    EXPECT_EQ(spy->count(), before + 1);
    // A name that is taken: the error box, nothing changes.
    tree->setCurrentItem(alpha);
    renameTo("beta");
    ASSERT_EQ(prompts.prompts.size(), 1u);
    EXPECT_NE(prompts.prompts[0].text.indexOf(QStringLiteral("File exists")), -1);
    EXPECT_EQ(alpha->text(0), QStringLiteral("Omega"));
    EXPECT_TRUE(has("desktop/Omega") && has("desktop/beta"));
}

TEST_F(FolderTreeTest, DeleteAsksFirstThenTrashesOrDeletesForGood) {
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(folder.file("data")));
    tree->setFocus();
    keyOn("", Qt::Key_Delete); // the root: no verb at all
    EXPECT_TRUE(prompts.prompts.empty());
    prompts.nextAnswer(QMessageBox::Cancel);
    keyOn("Alpha", Qt::Key_Delete);
    ASSERT_EQ(prompts.prompts.size(), 1u);
    EXPECT_EQ(prompts.prompts[0].caption, QStringLiteral("Confirm"));
    EXPECT_TRUE(has("desktop/Alpha"));
    prompts.nextAnswer(QMessageBox::Ok);
    keyOn("Alpha", Qt::Key_Delete);
    EXPECT_FALSE(has("desktop/Alpha"));
    EXPECT_TRUE(has("data/Trash/files/Alpha/inner") && has("data/Trash/info/Alpha.trashinfo"));
    prompts.nextAnswer(QMessageBox::Ok);
    keyOn("beta", Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_NE(prompts.prompts.back().text.indexOf(QStringLiteral("for good")), -1);
    EXPECT_FALSE(has("desktop/beta") || has("data/Trash/files/beta"));
    qunsetenv("XDG_DATA_HOME");
}

TEST_F(FolderTreeTest, CopyCutAndPasteThroughTheClipboardLikeAFileManager) {
    tree->setFocus();
    keyOn("Alpha", Qt::Key_C, Qt::ControlModifier);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->urls().size(), 1);
    EXPECT_EQ(data->urls()[0].toLocalFile().toStdString(), folder.file("desktop/Alpha"));
    EXPECT_TRUE(
        data->data(QStringLiteral("x-special/gnome-copied-files")).startsWith("copy\nfile://"));
    keyOn("Alpha", Qt::Key_V, Qt::ControlModifier); // into itself: refused, nothing made
    ASSERT_EQ(prompts.prompts.size(), 1u);
    EXPECT_NE(prompts.prompts[0].text.indexOf(QStringLiteral("inside itself")), -1);
    EXPECT_FALSE(has("desktop/Alpha/Alpha"));
    keyOn("beta", Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(has("desktop/beta/Alpha/inner") && has("desktop/Alpha/inner"));
    QTest::keyClick(tree.get(), Qt::Key_V, Qt::ControlModifier); // the name is taken now
    EXPECT_NE(prompts.prompts.back().text.indexOf(QStringLiteral("exists already")), -1);
    keyOn("Alpha", Qt::Key_X, Qt::ControlModifier);
    keyOn(".hidden", Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(has("desktop/.hidden/Alpha/inner") && !has("desktop/Alpha"));
}

TEST_F(FolderTreeTest, RightClickMenuIsForTheClickedNodeAndKeepsTheSelection) {
    QTreeWidgetItem* alpha = child(root, "Alpha");
    QTreeWidgetItem* beta = child(root, "beta");
    tree->setCurrentItem(alpha);
    const int before = spy->count();
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, tree->visualItemRect(beta).center());
    EXPECT_EQ(tree->currentItem(), alpha);
    EXPECT_EQ(spy->count(), before);
    QMenu* menu = tree->contextMenuFor(beta);
    prompts.nextAnswer(QMessageBox::Cancel);
    menu->findChild<QAction*>(QStringLiteral("Delete"))->trigger();
    ASSERT_EQ(prompts.prompts.size(), 1u);
    EXPECT_NE(prompts.prompts[0].text.indexOf(QStringLiteral("beta")), -1);
    EXPECT_TRUE(has("desktop/beta"));
    menu->close();
    QMenu* places = tree->contextMenuFor(child(root, "Home"));
    for (const char* verb : {"Rename", "Delete"})
        EXPECT_FALSE(places->findChild<QAction*>(QString::fromLatin1(verb))->isEnabled()) << verb;
    places->close();
    EXPECT_EQ(tree->currentItem(), alpha);
}

TEST_F(FolderTreeTest, ALongPasteShowsItsProgressAndACancelLeavesNothing) {
    test::writeBytes(folder.file("desktop/Alpha/inner/big.map"),
                     std::string(FolderTree::kProgressBytes + 1, 'm'));
    tree->setFocus();
    keyOn("Alpha", Qt::Key_C, Qt::ControlModifier);
    // The first chance the dialog gives the event loop, the user presses Cancel.
    bool shown = false;
    QTimer::singleShot(0, tree.get(), [&] {
        if (auto* progress = tree->findChild<QProgressDialog*>(QStringLiteral("CopyProgress"))) {
            shown = progress->isVisible();
            progress->cancel();
        }
    });
    keyOn("beta", Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(has("desktop/beta/Alpha"));
    EXPECT_TRUE(prompts.prompts.empty()) << "a cancel is the user's choice, not an error";
    EXPECT_EQ(tree->findChild<QProgressDialog*>(QStringLiteral("CopyProgress")), nullptr);
}

// A drop as the window system delivers it (enter, move over a node, drop) copies onto a folder
// and is refused by a virtual node (a move is the cut and paste's); a drag out carries the URL.
TEST_F(FolderTreeTest, DropsCopyOnDiskAndDragsOutAsUriList) {
    test::writeBytes(folder.file("roads.tab"), "!table\n");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.file("roads.tab")))});
    const auto dropAt = [&](QTreeWidgetItem* node) {
        const QPoint at = tree->visualItemRect(node).center();
        QWidget* area = tree->viewport();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(area, &enter);
        QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(area, &move);
        if (!move.isAccepted()) {
            QDragLeaveEvent leave;
            QApplication::sendEvent(area, &leave);
            return false;
        }
        QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(area, &drop);
        return true;
    };
    QTreeWidgetItem* beta = child(root, "beta");
    EXPECT_TRUE(dropAt(beta));
    EXPECT_TRUE(has("desktop/beta/roads.tab") && has("roads.tab")) << "a plain drop copies";
    EXPECT_FALSE(dropAt(child(root, "Computer"))) << "a virtual node took a drop";
    EXPECT_TRUE(prompts.prompts.empty());
    const std::unique_ptr<QMimeData> out(tree->mimeData({beta}));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->urls().value(0).toLocalFile().toStdString(), folder.file("desktop/beta"));
    EXPECT_EQ(tree->mimeData({root, child(root, "Home")}), nullptr);
}

} // namespace
} // namespace vantero
