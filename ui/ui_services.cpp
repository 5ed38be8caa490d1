#include "ui/ui_services.h"

namespace ui {

namespace {

UiServices g_override;  // GUI thread only, like every dialog

}  // namespace

UiServices default_ui_services() {
    static QtMessageBoxService message_boxes;
    static QtFileDialogService file_dialogs;
    return {g_override.message_boxes ? g_override.message_boxes : &message_boxes,
            g_override.file_dialogs ? g_override.file_dialogs : &file_dialogs};
}

void set_default_ui_services(UiServices services) { g_override = services; }

}  // namespace ui
