// The report list: rows ordered by column 0, cells by position, check boxes.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "ui/report_list.h"

using namespace ui;

namespace {

std::string index_text(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

class ReportListTest : public ::testing::Test {
protected:
    ReportListTest() : list(true) {
        list.add_column("Index", 50);
        list.add_column("MAC", 180);
        list.add_column("Port", 50, Qt::AlignHCenter);
    }
    // Adds rows "01".."n" in arrival order, each with its MAC in column 1.
    void add_rows(int n) {
        for (int i = 1; i <= n; ++i) list.set_cell(list.insert_row(index_text(i)), 1, "mac-" + std::to_string(i));
    }
    std::vector<bool> checks() const {
        std::vector<bool> out;
        for (int row = 0; row < list.row_count(); ++row) out.push_back(list.is_row_checked(row));
        return out;
    }
    ReportList list;
};

}  // namespace

TEST(SortOrderTest, ComparesDigitRunsAsNumbers) {
    EXPECT_TRUE(sorts_before("09", "10"));
    EXPECT_TRUE(sorts_before("99", "100"));
    EXPECT_FALSE(sorts_before("100", "99"));
    EXPECT_TRUE(sorts_before("a2", "a10"));
    EXPECT_TRUE(sorts_before("abc", "abd"));
    EXPECT_TRUE(sorts_before("ab", "abc"));
    EXPECT_FALSE(sorts_before("12", "12"));
    EXPECT_NE(sorts_before("01", "1"), sorts_before("1", "01"));  // strict: never both ways
}

TEST_F(ReportListTest, HasTheColumnsItWasGiven) {
    ASSERT_EQ(list.columnCount(), 3);
    EXPECT_EQ(list.horizontalHeaderItem(1)->text(), "MAC");
    EXPECT_EQ(list.columnWidth(0), 50);
    EXPECT_TRUE(list.horizontalHeaderItem(2)->textAlignment() & Qt::AlignHCenter);
}

TEST_F(ReportListTest, ArrivalNumbersKeepArrivalOrderPastNinetyNine) {
    add_rows(100);
    ASSERT_EQ(list.row_count(), 100);
    for (int row = 0; row < 100; ++row) {
        EXPECT_EQ(list.cell(row, 0), index_text(row + 1));
        EXPECT_EQ(list.cell(row, 1), "mac-" + std::to_string(row + 1));
    }
}

TEST_F(ReportListTest, InsertPlacesARowByItsFirstColumn) {
    EXPECT_EQ(list.insert_row("03"), 0);
    EXPECT_EQ(list.insert_row("01"), 0);
    EXPECT_EQ(list.insert_row("02"), 1);
    EXPECT_EQ(list.insert_row("04"), 3);
    EXPECT_EQ(list.insert_row("02"), 2);  // equal texts keep their arrival order
    EXPECT_EQ(list.cell(3, 0), "03");
}

TEST_F(ReportListTest, CellsOfMissingRowsOrColumnsAreIgnored) {
    add_rows(2);
    EXPECT_TRUE(list.set_cell(1, 2, "8000"));
    EXPECT_EQ(list.cell(1, 2), "8000");
    EXPECT_FALSE(list.set_cell(2, 1, "x"));  // the row count is one past the last row
    EXPECT_FALSE(list.set_cell(-1, 1, "x"));
    EXPECT_FALSE(list.set_cell(0, 3, "x"));
    EXPECT_EQ(list.cell(5, 0), "");
    EXPECT_FALSE(list.set_row_checked(2, true));
    EXPECT_FALSE(list.is_row_checked(-1));
}

TEST_F(ReportListTest, FindsTheFirstRowWithAnExactText) {
    add_rows(3);
    list.set_cell(2, 2, "8000");
    list.set_cell(1, 2, "8000");
    EXPECT_EQ(list.find_row(1, "mac-3"), 2);
    EXPECT_EQ(list.find_row(2, "8000"), 1);
    EXPECT_EQ(list.find_row(1, "MAC-3"), -1);  // case-sensitive
    EXPECT_EQ(list.find_row(1, "mac-"), -1);
    EXPECT_EQ(list.find_row(7, "mac-1"), -1);
}

TEST_F(ReportListTest, InvertThenSelectAll) {
    add_rows(3);
    list.set_row_checked(0, true);
    list.set_row_checked(2, true);
    EXPECT_EQ(list.checked_count(), 2);
    list.invert_checks();
    EXPECT_EQ(checks(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(list.checked_rows(), std::vector<int>{1});
    list.check_all();
    EXPECT_EQ(checks(), (std::vector<bool>{true, true, true}));
}

TEST_F(ReportListTest, SelectionOnAnEmptyListDoesNothing) {
    list.check_all();
    list.invert_checks();
    EXPECT_EQ(list.row_count(), 0);
    EXPECT_EQ(list.checked_count(), 0);
}

TEST_F(ReportListTest, ClearingDropsRowsAndTheirChecks) {
    add_rows(5);
    list.check_all();
    list.clear_rows();
    EXPECT_EQ(list.row_count(), 0);
    add_rows(2);
    EXPECT_EQ(list.cell(0, 0), "01");
    EXPECT_EQ(list.checked_count(), 0);
}

TEST_F(ReportListTest, ReportsToggledChecksButNotNewRows) {
    QSignalSpy toggled(&list, &ReportList::row_check_toggled);
    add_rows(2);
    EXPECT_EQ(toggled.count(), 0);
    list.set_row_checked(1, true);
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_EQ(toggled[0][0].toInt(), 1);
    EXPECT_TRUE(toggled[0][1].toBool());
    list.set_cell(1, 1, "new mac");  // text changes are not toggles
    EXPECT_EQ(toggled.count(), 1);
}

TEST_F(ReportListTest, SpaceTogglesTheCurrentRowsCheckBox) {
    add_rows(2);
    list.show();
    list.setFocus();
    list.setCurrentCell(1, 0);
    QTest::keyClick(&list, Qt::Key_Space);
    EXPECT_TRUE(list.is_row_checked(1));
    EXPECT_FALSE(list.is_row_checked(0));
}

TEST_F(ReportListTest, UpdateBatchesNestAndRepaintOnceAtTheEnd) {
    add_rows(3);
    list.show();
    {
        ReportList::UpdateBatch outer(list);
        {
            ReportList::UpdateBatch inner(list);
            for (int row = 0; row < 3; ++row) list.set_cell(row, 2, "√");
        }
        EXPECT_FALSE(list.updatesEnabled());
    }
    EXPECT_TRUE(list.updatesEnabled());
    EXPECT_EQ(list.cell(2, 2), "√");
}

TEST(ReportListWithoutChecks, RowsHaveNoCheckBoxes) {
    ReportList list(false);
    list.add_column("No.", 50);
    list.insert_row("01");
    EXPECT_FALSE(list.set_row_checked(0, true));
    EXPECT_FALSE(list.item(0, 0)->flags() & Qt::ItemIsUserCheckable);
}

// A locked list takes no check mark, selection or double click from the
// user, rows added meanwhile included, yet its owner still sets marks and it
// still scrolls; unlocked, the user's marks count again.
TEST_F(ReportListTest, LockedListIgnoresTheUserButStillScrolls) {
    add_rows(3);
    list.resize(300, 60);
    list.show();
    QSignalSpy toggled(&list, &ReportList::row_check_toggled);
    QSignalSpy double_clicked(&list, &ReportList::row_double_clicked);
    list.set_locked(true);
    add_rows(40);
    EXPECT_TRUE(list.verticalScrollBar()->isEnabled());
    list.setCurrentCell(1, 2);
    QTest::keyClick(&list, Qt::Key_Space);
    const QPoint cell = list.visualItemRect(list.item(0, 1)).center();
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(checks(), std::vector<bool>(43, false));
    EXPECT_EQ(toggled.count(), 0);
    EXPECT_EQ(double_clicked.count(), 0);
    EXPECT_TRUE(list.selectionModel()->selectedRows().isEmpty());
    EXPECT_FALSE(list.item(42, 0)->flags() & Qt::ItemIsEnabled);  // shown greyed
    list.set_row_checked(2, true);  // the owner still can
    EXPECT_TRUE(list.is_row_checked(2));
    toggled.clear();
    list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum());
    EXPECT_GT(list.verticalScrollBar()->value(), 0);

    list.set_locked(false);
    list.setCurrentCell(42, 2);  // the cursor in another column than the box's
    QTest::keyClick(&list, Qt::Key_Space);
    EXPECT_TRUE(list.is_row_checked(42));
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_EQ(toggled.at(0).at(0).toInt(), 42);
    QTest::keyClick(&list, Qt::Key_Space);
    EXPECT_FALSE(list.is_row_checked(42));
}
