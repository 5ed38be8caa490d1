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

// Beyond the 13 columns of the device list, two show a plan's values; they
// sit beside the device's own columns and are hidden while no plan is loaded.
constexpr int COL_PLANNED_IP = 13;
constexpr int COL_PLANNED_UID = 14;

// Creates the 15 columns; `status_caption` heads the status column.
void add_device_columns(ui::ReportList& list, const std::string& status_caption);
// The captions that follow the language (the status and planned columns').
void set_column_captions(ui::ReportList& list, const std::string& status_caption,
                         const std::string& planned_ip_caption, const std::string& planned_uid_caption);
void show_planned_columns(ui::ReportList& list, bool shown);

// Brings the list in line with the rows: adds missing rows, rewrites cells
// and check boxes that differ, and empties the list first when the table has
// fewer rows (it was cleared). Repaints once.
void show_device_rows(const std::vector<DeviceRow>& rows, ui::ReportList& list);
