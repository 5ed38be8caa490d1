#pragma once

#include "ui/file_dialog_service.h"
#include "ui/message_box_service.h"

namespace ui {

// The interactive services a dialog uses. Neither pointer is owned.
struct UiServices {
    MessageBoxService* message_boxes = nullptr;
    FileDialogService* file_dialogs = nullptr;
};

// The services new dialogs start with: real message boxes and file dialogs,
// unless a test has put its own in place.
UiServices default_ui_services();

// Replaces the services new dialogs start with (a null member restores the
// real one). For tests that cannot reach a dialog before it opens, such as one
// that the launcher creates.
void set_default_ui_services(UiServices services);

}  // namespace ui
