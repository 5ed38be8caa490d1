#pragma once

#include "ui/dialog_units.h"

namespace ui {

// What a control is; each kind maps to one Qt widget class.
enum class ControlKind {
    Label,        // QLabel: static text or picture
    Edit,         // QLineEdit
    Button,       // QPushButton
    CheckBox,     // QCheckBox, two-state, toggles itself when clicked
    GroupBox,     // QGroupBox: a captioned frame drawn behind the controls it frames
    Combo,        // QComboBox, drop-down list (no typing)
    ReportList,   // ReportList: columns, rows, check boxes
    ListBox,      // QListWidget: one column of lines
    IpAddress,    // IpAddressEdit: four octets
    ProgressBar,  // QProgressBar, 0..100
    Frame,        // ClickableFrame: black frame, reports clicks (video and QR areas)
};

// Start-up state and style bits of a control, combined with '|'.
enum ControlFlag : unsigned {
    kShown = 0,
    kHidden = 1u << 0,        // not visible when the dialog opens
    kDisabled = 1u << 1,      // greyed when the dialog opens
    kDefaultButton = 1u << 2, // the button Enter presses
    kPassword = 1u << 3,      // edit shows bullets
    kCheckBoxes = 1u << 4,    // report list rows carry check boxes
    kSorted = 1u << 5,        // list box keeps added lines in text order
};

// One row of a dialog's control table. `text` is the caption the dialog shows
// until the language file is applied; `caption_key`, when set, replaces it
// then. For combos the rectangle's height is the dropped-down height, so the
// closed box takes its natural height instead.
struct ControlSpec {
    int id;
    ControlKind kind;
    const char* text;
    const char* caption_key;
    DluRect rect;
    unsigned flags = kShown;
};

// Where a control without a caption of its own (a text or address field, a
// combo, a list, a picture) takes its accessible name from: the caption of
// the control that labels it on screen or, where none does, a language-file
// key. The name is what a screen reader announces, and what assistive
// technology finds the control by.
struct NameSpec {
    int id;
    int label_id;          // 0: no label
    const char* name_key;  // used when label_id is 0
};

// The dialog itself: title key, client size in dialog units and font size.
struct DialogSpec {
    const char* title_key;
    int width_dlu;
    int height_dlu;
    int font_point_size;
};

}  // namespace ui
