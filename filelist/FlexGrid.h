// A single-column grid of texts with a current cell, in the manner of a classic flex grid:
// at least one row, no header rows, each cell's text held as exact bytes.
#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QTableView>
#include <vector>

namespace tolvik {

// The grid's cells. Rows appended at the end reach the view in batches: the view learns of
// them when the event loop next runs (or on Publish()), so that appending many rows one at a
// time does not make the view lay out its rows again for each one.
class FlexGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    int Rows() const { return static_cast<int>(cells_.size()); }
    void SetRows(int rows);
    const QByteArray& Text(int row) const { return cells_[static_cast<std::size_t>(row)]; }
    void SetText(int row, const QByteArray& text);
    void ClearTexts();

    // Tells the view of every row appended since it last heard.
    void Publish();

Q_SIGNALS:
    void Published();

private:
    std::vector<QByteArray> cells_{QByteArray()};
    int shown_ = 1;  // the rows the view knows of
    bool publishQueued_ = false;
};

class FlexGrid : public QTableView {
    Q_OBJECT
public:
    explicit FlexGrid(QWidget* parent = nullptr);

    int Rows() const { return model_.Rows(); }
    // Never less than 1; new rows are empty, dropped rows lose their text.
    void SetRows(int rows);
    int Cols() const { return 1; }

    // Width of column 0 in twips (1440 to the inch).
    int ColWidth() const { return colWidthTwips_; }
    void SetColWidth(int twips);

    // The current cell's row.
    int Row() const { return row_; }
    void SetRow(int row);

    QByteArray TextMatrix(int row) const { return model_.Text(row); }
    void SetTextMatrix(int row, const QByteArray& text) { model_.SetText(row, text); }

    // Empties every cell; the number of rows and the column width stay.
    void Clear() { model_.ClearTexts(); }

    // Brings the view up to date with every row appended so far.
    void Publish() { model_.Publish(); }

protected:
    void changeEvent(QEvent* event) override;

private:
    void ApplyColWidth();
    void ApplyRowHeight();
    void ShowCurrentCell();

    FlexGridModel model_;
    int colWidthTwips_ = 0;
    int row_ = 0;
};

}  // namespace tolvik
