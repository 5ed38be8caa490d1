#include "batch/dialog/device_list_view.h"

#include <QFontMetrics>
#include <QHeaderView>

#include "batch/job_report.h"
#include "ui/report_list.h"

namespace {

struct ColumnSpec {
    const char* caption;  // null: the status caption
    int width_px;
    Qt::Alignment alignment;
};

constexpr ColumnSpec kColumns[] = {
    {"Index", 50, Qt::AlignLeft}, {"MAC", 180, Qt::AlignLeft}, {"IP", 150, Qt::AlignLeft},
    {"Port", 50, Qt::AlignHCenter}, {"Version", 150, Qt::AlignLeft}, {"BID", 130, Qt::AlignLeft},
    {"1", 25, Qt::AlignLeft}, {"2", 25, Qt::AlignLeft}, {"3", 25, Qt::AlignLeft},
    {"4", 25, Qt::AlignLeft}, {"5", 25, Qt::AlignLeft}, {"6", 25, Qt::AlignLeft},
    {nullptr, 250, Qt::AlignLeft},
    {"Planned IP", 150, Qt::AlignLeft}, {"Planned UID", 150, Qt::AlignLeft},
};

void set_if_changed(ui::ReportList& list, int row, int column, const std::string& text) {
    if (list.cell(row, column) != text) list.set_cell(row, column, text);
}

void show_row(const DeviceRow& source, int row, ui::ReportList& list) {
    const std::string* columns[] = {&source.index, &source.mac, &source.ip, &source.port, &source.version, &source.bid};
    for (int column = 0; column < 6; ++column) set_if_changed(list, row, column, *columns[column]);
    for (int column = COL_NETWORK; column < COL_STATUS; ++column)
        set_if_changed(list, row, column, source.results[column - COL_NETWORK]);
    // Until a job writes a status, a camera listed without its version (an
    // ONVIF one whose login failed) says why.
    const std::string& status = source.results[COL_STATUS - COL_NETWORK];
    set_if_changed(list, row, COL_STATUS, status.empty() ? source.note : status);
    const PlannedValues none;
    const PlannedValues& planned = source.planned ? *source.planned : none;
    // DHCP on comes without an address: the device takes the one it is given.
    set_if_changed(list, row, COL_PLANNED_IP, planned.dhcp.value_or(false) ? std::string("DHCP") : planned.ip);
    set_if_changed(list, row, COL_PLANNED_UID, planned.uid);
    if (list.is_row_checked(row) != source.checked) list.set_row_checked(row, source.checked);
}

}  // namespace

void add_device_columns(ui::ReportList& list, const std::string& status_caption) {
    // The widths are the classic pixel widths, widened where a larger font
    // would otherwise cut a caption or the address texts; BID also shows an
    // ONVIF camera's mark and model ("ONVIF SIMCAM-O1").
    const QFontMetrics metrics = list.fontMetrics();
    for (const ColumnSpec& column : kColumns) {
        const std::string caption = column.caption ? column.caption : status_caption;
        const int needed = metrics.horizontalAdvance(QString::fromUtf8(caption.c_str())) + metrics.averageCharWidth() * 2;
        const int sample = column.width_px > 100 ? metrics.horizontalAdvance(QStringLiteral("00:00:00:00:00:00 ")) : 0;
        list.add_column(caption, std::max({column.width_px, needed, sample}), column.alignment);
    }
    // Shown beside the device's own address and board, where a technician
    // compares them, while their logical places keep columns 0..12 as they are.
    list.horizontalHeader()->moveSection(COL_PLANNED_IP, COL_NETWORK);
    list.horizontalHeader()->moveSection(COL_PLANNED_UID, COL_NETWORK + 1);
    show_planned_columns(list, false);
}

void set_column_captions(ui::ReportList& list, const std::string& status_caption,
                         const std::string& planned_ip_caption, const std::string& planned_uid_caption) {
    const std::pair<int, const std::string*> captions[] = {
        {COL_STATUS, &status_caption}, {COL_PLANNED_IP, &planned_ip_caption}, {COL_PLANNED_UID, &planned_uid_caption}};
    for (const auto& [column, caption] : captions)
        if (!caption->empty()) list.horizontalHeaderItem(column)->setText(QString::fromUtf8(caption->c_str()));
}

void show_planned_columns(ui::ReportList& list, bool shown) {
    list.setColumnHidden(COL_PLANNED_IP, !shown);
    list.setColumnHidden(COL_PLANNED_UID, !shown);
}

void show_device_rows(const std::vector<DeviceRow>& rows, ui::ReportList& list) {
    ui::ReportList::UpdateBatch batch(list);
    if (list.row_count() > static_cast<int>(rows.size())) list.clear_rows();
    for (int row = list.row_count(); row < static_cast<int>(rows.size()); ++row) list.insert_row(rows[row].index);
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) show_row(rows[row], row, list);
}
