#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "search/device_protocol.h"
#include "batch/planned_values.h"

// One discovered device as the list shows it (UTF-8 texts).
struct ListedDevice {
    std::string mac;           // "" for an ONVIF camera whose login failed
    std::string ip;
    int cmd_port = 0;          // ONVIF: the device service's port
    std::string software_ver;
    std::uint32_t board_type = 0;
    std::int32_t device_type = 0;
    std::string mask{};  // initialised, so brace lists that end before them need not name them
    std::string gateway{};
    DeviceProtocol protocol = DeviceProtocol::native;
    // What a front end that lists every camera (beyond the table's rows)
    // finds this device by across its updates; "" : the MAC.
    std::string key;
    // Why the device has no version (an ONVIF camera whose login failed).
    std::string note;
    // ONVIF only: the WS-Discovery endpoint (the row's key while the MAC is
    // unknown), the device service's address and the model.
    std::string endpoint;
    std::string xaddr;
    std::string model;
};

// One row of the device list: the columns 0..12, the check box and the
// device-group flag the workers read.
struct DeviceRow {
    std::string index;      // column 0, "%02d" of the arrival number
    std::string mac;        // column 1, the row's key
    std::string ip;         // column 2
    std::string port;       // column 3
    std::string version;    // column 4
    std::string bid;        // column 5, "0x%x" of the board type; "ONVIF <model>" for ONVIF cameras
    std::string results[7]; // columns 6..12 (marks, then the status message)
    bool checked = false;
    std::int32_t group1 = 0;    // the m_row_group1 entry of this row
    int last_status = -1;       // last status code written into the row
    DeviceProtocol protocol = DeviceProtocol::native;
    std::string endpoint;       // ONVIF: WS-Discovery endpoint
    std::string xaddr;          // ONVIF: device service address
    std::string note;           // why the row has no version, when known
    std::string mask;           // as listed, not shown in a column
    std::string gateway;
    // The device's own values when a plan names it (the values may all be
    // empty: the plan only chose the device); nothing when no plan does.
    std::optional<PlannedValues> planned;
};

// The device list of the batch job, fed by discovery on its own thread,
// read by the workers and shown by a front end. Every access takes the
// table's lock for a short copy; no callback runs under it.
class CDeviceTable {
public:
    static constexpr int kMaxRows = 100;

    // `lookup` turns a language-file key into the text shown; by default the
    // default language file beside the program.
    using TextLookup = std::function<std::string(const std::string& key)>;
    explicit CDeviceTable(TextLookup lookup = {});

    // Called (outside the lock) with the row that changed, -1 for all rows.
    void set_change_notifier(std::function<void(int row)> notifier);

    // Applies a discovery record: a new row for a new device (refused past
    // kMaxRows, so every row index fits the per-row arrays), else an update
    // of columns 2..5 and the group flag of the row with this MAC (or, for
    // an ONVIF camera, this endpoint). A record said to be new whose device
    // is already listed updates its row: a device is never listed twice.
    // Returns 0.
    int update_dev_find_list(const ListedDevice& device, bool is_new);

    // Empties the list; a plan stays and applies to the devices heard again.
    void clear();
    int row_count() const;
    std::optional<DeviceRow> row(int index) const;
    std::vector<DeviceRow> rows() const;

    // Gives the listed devices (and those listed later) their planned
    // values: a planned device is checked, every other one unchecked, and
    // one heard later arrives checked. An empty plan removes the plan
    // (check marks stay as they are).
    void set_plan(PlannedByMac plan);
    bool has_plan() const;

    void set_checked(int index, bool checked);
    void select_all();
    void select_invert();
    int checked_count() const;

    // The IP column of every row, checked or not.
    std::vector<std::string> listed_ips() const;
    std::string ip_of(int index) const;
    std::string version_of(int index) const;
    std::int32_t group1_of(int index) const;

    // Writes the effect of a status code (the marks and messages of the
    // report table) into a row; rows that do not exist are left alone.
    void apply_status(int index, int code);
    void set_result(int index, int column, const std::string& text);
    // The version a worker read from the device itself (an ONVIF camera
    // back from its flash), until discovery lists it anew.
    void set_version(int index, const std::string& version);
    // The text the rows show for a language-file key.
    std::string text(const std::string& key) const { return m_lookup(key); }

    // True when a device type puts a device into group 1.
    static bool is_group1_type(std::int32_t device_type);

private:
    void notify(int row) const;
    DeviceRow* find_row(int index);
    DeviceRow* find_device(const ListedDevice& device);

    TextLookup m_lookup;
    mutable std::mutex m_lock;
    std::vector<DeviceRow> m_rows;
    PlannedByMac m_plan;
    std::function<void(int)> m_notifier;
};
