#pragma once

#include <QTableWidget>
#include <string>
#include <vector>

namespace ui {

// Orders two texts with their digit runs compared as numbers ("9" < "10" <
// "100"), other characters as text. The list keeps its rows in this order of
// column 0, so "%02d" arrival numbers stay in arrival order past 99.
bool sorts_before(const QString& a, const QString& b);

// A report-style list: fixed columns, rows kept ordered by their column-0
// text, full-row selection, grid lines and (optionally) a check box per row.
// Rows are addressed by position; writes to a row that does not exist change
// nothing, so late reports for a cleared list are harmless.
class ReportList : public QTableWidget {
    Q_OBJECT
public:
    explicit ReportList(bool check_boxes, QWidget* parent = nullptr);

    // Appends a column; returns its index.
    int add_column(const std::string& caption, int width_px, Qt::Alignment alignment = Qt::AlignLeft);

    // Inserts a row whose column 0 reads `first`, at the place the order of
    // column 0 gives it; returns that position.
    int insert_row(const std::string& first);
    int row_count() const { return rowCount(); }
    void clear_rows();

    bool set_cell(int row, int column, const std::string& text);
    std::string cell(int row, int column) const;
    // The first row whose `column` equals `text` exactly, or -1.
    int find_row(int column, const std::string& text) const;

    // A locked list shows its rows greyed and takes no check mark, selection
    // or double click from the user, yet still scrolls: rows that a job works
    // on stay readable down to the last one. The dialog layer locks a list
    // where other controls are disabled.
    void set_locked(bool locked);
    bool locked() const { return m_locked; }

    bool set_row_checked(int row, bool checked);
    bool is_row_checked(int row) const;
    int checked_count() const;
    std::vector<int> checked_rows() const;
    void check_all();
    void invert_checks();

    // Holds repaints back while many cells change; the list repaints once
    // when the last batch ends.
    class UpdateBatch {
    public:
        explicit UpdateBatch(ReportList& list);
        ~UpdateBatch();
        UpdateBatch(const UpdateBatch&) = delete;
        UpdateBatch& operator=(const UpdateBatch&) = delete;

    private:
        ReportList& m_list;
    };

signals:
    void row_check_toggled(int row, bool checked);
    void row_double_clicked(int row);

protected:
    // Space toggles the current row's check box from whichever column.
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool has_row(int row) const { return row >= 0 && row < rowCount(); }
    Qt::ItemFlags cell_flags(int column) const;
    void set_row_height();
    int sorted_position(const QString& first) const;
    QTableWidgetItem* new_cell(int column) const;

    bool m_check_boxes;
    std::vector<Qt::Alignment> m_alignments;
    int m_batch_depth = 0;
    bool m_inserting = false;
    bool m_locked = false;
};

}  // namespace ui
