#pragma once

#include <span>

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

// Writes every value from the dialog's controls. 0, or 1 when the store
// cannot be written (traced, never shown).
int save_cfg_param(const ui::DialogBase& dialog);

// Sets each restored control from its stored text, if present and short
// enough. 0, or 1 when the store cannot be read (the fields keep their texts).
int load_cfg_param(ui::DialogBase& dialog);

}  // namespace batch_settings
