#include "FlexGrid.h"

#include <QEvent>
#include <QHeaderView>

#include "BrowseForFolder.h"

namespace tolvik {

int FlexGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(cells_.size());
}

int FlexGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant FlexGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() != 0) {
        return {};
    }
    const QByteArray& text = cells_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return DisplayPath(text);
        case Qt::UserRole:
            return text;
        default:
            return {};
    }
}

void FlexGridModel::SetRows(int rows) {
    rows = std::max(rows, 1);
    const int now = rowCount();
    if (rows > now) {
        beginInsertRows({}, now, rows - 1);
        cells_.resize(static_cast<std::size_t>(rows));
        endInsertRows();
    } else if (rows < now) {
        beginRemoveRows({}, rows, now - 1);
        cells_.resize(static_cast<std::size_t>(rows));
        cells_.shrink_to_fit();
        endRemoveRows();
    }
}

void FlexGridModel::SetText(int row, const QByteArray& text) {
    cells_[static_cast<std::size_t>(row)] = text;
    const QModelIndex cell = index(row, 0);
    Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
}

void FlexGridModel::ClearTexts() {
    for (auto& cell : cells_) {
        cell.clear();
    }
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0));
}

FlexGrid::FlexGrid(QWidget* parent) : QTableView(parent) {
    setModel(&model_);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    // Every row has the same height: the view need not measure rows as they arrive.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setCurrentIndex(model_.index(0, 0));
}

void FlexGrid::SetRows(int rows) {
    model_.SetRows(rows);
}

void FlexGrid::SetColWidth(int twips) {
    colWidthTwips_ = twips;
    ApplyColWidth();
}

void FlexGrid::ApplyColWidth() {
    setColumnWidth(0, qRound(colWidthTwips_ * logicalDpiX() / 1440.0));
}

void FlexGrid::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::ScreenChangeInternal) {
        ApplyColWidth();
    }
}

int FlexGrid::Row() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : 0;
}

void FlexGrid::SetRow(int row) {
    selectionModel()->setCurrentIndex(model_.index(row, 0), QItemSelectionModel::ClearAndSelect);
}

}  // namespace tolvik
