// The list of message files that the next conversion run reads, kept in the window's grid
// (one path per row, the first in row 0) with its count label.
#pragma once

#include <QByteArray>

class QLabel;

namespace tolvik {

class FlexGrid;

class FileList {
public:
    FileList(FlexGrid& grid, QLabel& countLabel);

    // Appends a path as the new last row; the empty list's single row is filled instead.
    void AddFileToList(const QByteArray& path);
    // Leaves one empty row.
    void ClearFileList();

    // The empty list is one row with empty text.
    bool IsEmpty() const;
    int RowCount() const;
    QByteArray RowText(int row) const;

    FlexGrid& Grid() { return grid_; }

private:
    void ShowCount();

    FlexGrid& grid_;
    QLabel& countLabel_;
};

// The label text for a number of rows: "1 files", "1234 files".
QString CountText(int rows);

}  // namespace tolvik
