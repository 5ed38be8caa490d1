#pragma once

#include <span>
#include <string>
#include <thread>
#include <vector>

namespace ui {
class DialogBase;
}

// The batch dialog's fields remembered between runs, in the per-user store
// QSettings("vesmira", "velquist") (on Linux ~/.config/vesmira/velquist.conf,
// kept private to the user: it holds a password).
namespace batch_settings {

struct StoredValue {
    const char* name;  // value name in the store
    int control_id;    // the control whose text it holds
    bool restored;     // read back when the dialog starts (combos never are)
};

// The 18 values in the order they are written.
std::span<const StoredValue> stored_values();

// A stored text of this many characters or more is not restored.
constexpr int kMaxRestoredChars = 128;

// The texts of the stored values, one per stored_values() entry, read from
// the dialog's controls (GUI thread).
using StoredTexts = std::vector<std::string>;
StoredTexts collect_cfg_param(const ui::DialogBase& dialog);

// Writes the texts to the store, from any thread. 0, or 1 when the store
// cannot be written (traced, never shown).
int write_cfg_param(const StoredTexts& texts);

// Writes the store on a thread of its own: the writer syncs the file to
// disk, which can take a long time on a busy machine, and the GUI thread
// must not wait for that when a job starts.
class BackgroundSaver {
public:
    BackgroundSaver() = default;
    ~BackgroundSaver();
    BackgroundSaver(const BackgroundSaver&) = delete;
    BackgroundSaver& operator=(const BackgroundSaver&) = delete;

    // Saves after the previous save has finished.
    void save(StoredTexts texts);
    // Returns once the last save is on disk.
    void wait();

private:
    std::thread m_thread;
};

// Sets each restored control from its stored text, if present and short
// enough. 0, or 1 when the store cannot be read (the fields keep their texts).
int load_cfg_param(ui::DialogBase& dialog);

}  // namespace batch_settings
