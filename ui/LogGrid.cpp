#include "ui/LogGrid.h"

#include "ui/RecordTableModel.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>

namespace vantero {

LogGrid::LogGrid(RecordTableModel* model, QWidget* parent) : QTableView(parent) {
    setModel(model);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setStretchLastSection(true);
    if (!model->columns().empty())
        setColumnWidth(0, model->columns().front().width);
    setShowGrid(false);
    setFrameShape(QFrame::StyledPanel);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    // Whether the last row was in view is known only before the new ones arrive.
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        m_followsNewRows = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    });
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_followsNewRows)
            scrollToBottom();
    });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { m_followsNewRows = true; });
}

bool LogGrid::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QTableView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    const QString text = index.data().toString();
    // The cell's own margins count: a text that only just fits is drawn whole.
    const int room =
        columnWidth(index.column()) - 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin) - 2;
    if (index.isValid() && fontMetrics().horizontalAdvance(text) > room)
        QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
    else
        QToolTip::hideText();
    return true;
}

void LogGrid::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
        if (currentIndex().isValid())
            emit deleteRequested(currentIndex().row());
        return;
    }
    QTableView::keyPressEvent(event);
}

} // namespace vantero
