#pragma once

#include <string>
#include <vector>

#include "batch/device_table.h"

namespace ui {
class ReportList;
}

// The device list of the batch dialog shows the engine's device table: one
// row per table row, in the same order (column 0 holds the arrival number,
// and the list keeps its rows ordered by it).

// Creates the 13 columns; `status_caption` heads the status column.
void add_device_columns(ui::ReportList& list, const std::string& status_caption);

// Brings the list in line with the rows: adds missing rows, rewrites cells
// and check boxes that differ, and empties the list first when the table has
// fewer rows (it was cleared). Repaints once.
void show_device_rows(const std::vector<DeviceRow>& rows, ui::ReportList& list);
