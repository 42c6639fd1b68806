#include "ui/LogGrid.h"

#include "ui/RecordTableModel.h"

#include <QHeaderView>
#include <QKeyEvent>

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
