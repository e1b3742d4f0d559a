#include "FlexGrid.h"

#include <QEvent>
#include <QHeaderView>

#include "BrowseForFolder.h"

namespace tolvik {

int FlexGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shown_;
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
    if (rows > Rows()) {
        cells_.resize(static_cast<std::size_t>(rows));
        if (!publishQueued_) {
            publishQueued_ = true;
            QMetaObject::invokeMethod(this, &FlexGridModel::Publish, Qt::QueuedConnection);
        }
    } else if (rows < Rows()) {
        Publish();
        beginRemoveRows({}, rows, shown_ - 1);
        cells_.resize(static_cast<std::size_t>(rows));
        cells_.shrink_to_fit();
        shown_ = rows;
        endRemoveRows();
    }
}

void FlexGridModel::Publish() {
    publishQueued_ = false;
    if (shown_ < Rows()) {
        beginInsertRows({}, shown_, Rows() - 1);
        shown_ = Rows();
        endInsertRows();
    }
    Q_EMIT Published();
}

void FlexGridModel::SetText(int row, const QByteArray& text) {
    cells_[static_cast<std::size_t>(row)] = text;
    if (row < shown_) {
        const QModelIndex cell = index(row, 0);
        Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
    }
}

void FlexGridModel::ClearTexts() {
    for (auto& cell : cells_) {
        cell.clear();
    }
    Q_EMIT dataChanged(index(0, 0), index(shown_ - 1, 0));
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
    ApplyRowHeight();
    setCurrentIndex(model_.index(0, 0));
    connect(&model_, &FlexGridModel::Published, this, &FlexGrid::ShowCurrentCell);
    // A click or a key moves the current cell too.
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) {
                    row_ = current.row();
                }
            });
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
    if (event->type() == QEvent::FontChange) {
        ApplyRowHeight();
    }
}

void FlexGrid::ApplyRowHeight() {
    // A classic grid's rows are as high as a line of its font and a little air.
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
}

void FlexGrid::SetRow(int row) {
    row_ = row;
    if (row < model_.rowCount()) {
        ShowCurrentCell();
    }  // else the view shows it once it learns of the row
}

void FlexGrid::ShowCurrentCell() {
    if (row_ < model_.rowCount() && currentIndex().row() != row_) {
        selectionModel()->setCurrentIndex(model_.index(row_, 0),
                                          QItemSelectionModel::ClearAndSelect);
    }
}

}  // namespace tolvik
