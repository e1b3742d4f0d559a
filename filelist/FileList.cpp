#include "FileList.h"

#include <QLabel>

#include "FlexGrid.h"

namespace tolvik {

inline constexpr int kColumnWidthTwips = 10000;

QString CountText(int rows) {
    return QString::number(rows) + QStringLiteral(" files");
}

FileList::FileList(FlexGrid& grid, QLabel& countLabel) : grid_(grid), countLabel_(countLabel) {}

void FileList::AddFileToList(const QByteArray& path) {
    bool fillFirstRow = false;
    if (grid_.Rows() == 1) {
        grid_.SetRow(0);
        if (grid_.TextMatrix(0).isEmpty()) {
            // The empty list: set its shape again and write into row 0.
            grid_.SetRows(1);
            grid_.SetColWidth(kColumnWidthTwips);
            fillFirstRow = true;
        }
    }
    if (!fillFirstRow) {
        grid_.SetRows(grid_.Rows() + 1);
    }
    const int last = grid_.Rows() - 1;
    grid_.SetRow(last);
    grid_.SetTextMatrix(last, path);
    ShowCount();
}

void FileList::ClearFileList() {
    grid_.SetRows(1);
    grid_.Clear();
    countLabel_.setText(QStringLiteral("0 files"));
}

bool FileList::IsEmpty() const {
    return grid_.Rows() == 1 && grid_.TextMatrix(0).isEmpty();
}

int FileList::RowCount() const {
    return grid_.Rows();
}

QByteArray FileList::RowText(int row) const {
    return grid_.TextMatrix(row);
}

void FileList::ShowCount() {
    countLabel_.setText(CountText(grid_.Rows()));
}

}  // namespace tolvik
