#include "ui/report_list.h"

#include <QHeaderView>
#include <QKeyEvent>

#include "ui/qt_text.h"

namespace ui {

namespace {

// Reads the run of digits starting at i as a number (without leading zeros)
// and moves i past it.
QStringView digit_run(const QString& text, qsizetype& i) {
    const qsizetype start = i;
    while (i < text.size() && text[i].isDigit()) ++i;
    QStringView run = QStringView(text).mid(start, i - start);
    while (run.size() > 1 && run.front() == u'0') run = run.mid(1);
    return run;
}

}  // namespace

bool sorts_before(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const QStringView x = digit_run(a, i), y = digit_run(b, j);
            if (x.size() != y.size()) return x.size() < y.size();
            if (const int c = x.compare(y); c != 0) return c < 0;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    // One is a prefix of the other (numerically): the shorter goes first, and
    // "01" before "1" so that the order is strict.
    if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
    return a < b;
}

ReportList::ReportList(bool check_boxes, QWidget* parent) : QTableWidget(parent), m_check_boxes(check_boxes) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setSortingEnabled(false);  // the list orders rows itself, on insertion only
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    set_row_height();
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(true);
    connect(model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& top, const QModelIndex&, const QList<int>& roles) {
                if (m_check_boxes && !m_inserting && top.column() == 0 && roles.contains(Qt::CheckStateRole))
                    emit row_check_toggled(top.row(), is_row_checked(top.row()));
            });
    connect(this, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (!m_locked) emit row_double_clicked(row);
    });
}

void ReportList::set_row_height() { verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6); }

void ReportList::changeEvent(QEvent* event) {
    // A dialog fitted to a smaller screen hands its list a smaller font.
    if (event->type() == QEvent::FontChange) set_row_height();
    QTableWidget::changeEvent(event);
}

void ReportList::keyPressEvent(QKeyEvent* event) {
    const int row = currentRow();
    if (event->key() != Qt::Key_Space || event->modifiers() != Qt::NoModifier || !m_check_boxes || m_locked ||
        !has_row(row)) {
        QTableWidget::keyPressEvent(event);
        return;
    }
    set_row_checked(row, !is_row_checked(row));
    event->accept();
}

Qt::ItemFlags ReportList::cell_flags(int column) const {
    if (m_locked) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_check_boxes && column == 0) flags |= Qt::ItemIsUserCheckable;
    return flags;
}

void ReportList::set_locked(bool locked) {
    if (locked == m_locked) return;
    m_locked = locked;
    UpdateBatch batch(*this);
    for (int row = 0; row < rowCount(); ++row)
        for (int column = 0; column < columnCount(); ++column) item(row, column)->setFlags(cell_flags(column));
}

int ReportList::add_column(const std::string& caption, int width_px, Qt::Alignment alignment) {
    const int column = columnCount();
    setColumnCount(column + 1);
    auto* header = new QTableWidgetItem(to_q(caption));
    header->setTextAlignment(alignment | Qt::AlignVCenter);
    setHorizontalHeaderItem(column, header);
    setColumnWidth(column, width_px);
    m_alignments.push_back(alignment);
    return column;
}

QTableWidgetItem* ReportList::new_cell(int column) const {
    auto* item = new QTableWidgetItem;
    item->setFlags(cell_flags(column));
    item->setTextAlignment(m_alignments[static_cast<std::size_t>(column)] | Qt::AlignVCenter);
    return item;
}

int ReportList::sorted_position(const QString& first) const {
    int row = rowCount();
    while (row > 0 && sorts_before(first, item(row - 1, 0)->text())) --row;
    return row;
}

int ReportList::insert_row(const std::string& first) {
    const QString text = to_q(first);
    const int row = sorted_position(text);
    m_inserting = true;  // a new row's check box is not a toggle
    insertRow(row);
    for (int column = 0; column < columnCount(); ++column) setItem(row, column, new_cell(column));
    if (columnCount() > 0) item(row, 0)->setText(text);
    if (m_check_boxes && columnCount() > 0) item(row, 0)->setCheckState(Qt::Unchecked);
    m_inserting = false;
    return row;
}

void ReportList::clear_rows() { setRowCount(0); }

bool ReportList::set_cell(int row, int column, const std::string& text) {
    if (!has_row(row) || column < 0 || column >= columnCount()) return false;
    item(row, column)->setText(to_q(text));
    return true;
}

std::string ReportList::cell(int row, int column) const {
    if (!has_row(row) || column < 0 || column >= columnCount()) return "";
    return from_q(item(row, column)->text());
}

int ReportList::find_row(int column, const std::string& text) const {
    if (column < 0 || column >= columnCount()) return -1;
    const QString wanted = to_q(text);
    for (int row = 0; row < rowCount(); ++row)
        if (item(row, column)->text() == wanted) return row;
    return -1;
}

bool ReportList::set_row_checked(int row, bool checked) {
    if (!m_check_boxes || !has_row(row) || columnCount() == 0) return false;
    item(row, 0)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    return true;
}

bool ReportList::is_row_checked(int row) const {
    return m_check_boxes && has_row(row) && columnCount() > 0 && item(row, 0)->checkState() == Qt::Checked;
}

int ReportList::checked_count() const { return static_cast<int>(checked_rows().size()); }

std::vector<int> ReportList::checked_rows() const {
    std::vector<int> rows;
    for (int row = 0; row < rowCount(); ++row)
        if (is_row_checked(row)) rows.push_back(row);
    return rows;
}

void ReportList::check_all() {
    UpdateBatch batch(*this);
    for (int row = 0; row < rowCount(); ++row)
        if (!is_row_checked(row)) set_row_checked(row, true);
}

void ReportList::invert_checks() {
    UpdateBatch batch(*this);
    for (int row = 0; row < rowCount(); ++row) set_row_checked(row, !is_row_checked(row));
}

ReportList::UpdateBatch::UpdateBatch(ReportList& list) : m_list(list) {
    if (m_list.m_batch_depth++ == 0) m_list.setUpdatesEnabled(false);
}

ReportList::UpdateBatch::~UpdateBatch() {
    if (--m_list.m_batch_depth == 0) m_list.setUpdatesEnabled(true);
}

}  // namespace ui
