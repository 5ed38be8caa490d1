#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "ui/control_spec.h"
#include "ui/dialog_units.h"
#include "ui/qt_translations.h"
#include "ui/ui_services.h"

class QPixmap;
class QPushButton;
class QScreen;

namespace ui {

class IpAddressEdit;
class ReportList;

// A dialog built from its control table. Every control keeps its numeric id,
// and the operations the dialogs need address controls by that id, so dialog
// code and tests read like the control tables they implement.
//
// Closing: Escape, the window's close button, accept() and reject() all end
// in done(), which first asks on_close_request(); a dialog stops its workers
// there, so no way out leaves them running against a closed window.
// Enter presses the focused button, else the table's default button, else
// nothing: it never closes a dialog, nor presses a button the user did not
// mean (Qt would otherwise press the next button in the tab order).
class DialogBase : public QDialog {
    Q_OBJECT
public:
    explicit DialogBase(QWidget* parent = nullptr);

    // Creates the controls of the table at their scaled rectangles, with
    // their start-up state and the table's own texts. Called once, from the
    // dialog's constructor.
    void build(const DialogSpec& dialog, std::span<const ControlSpec> controls);
    // Says where the controls without a caption take their accessible names
    // from; the names follow the language and the labels' texts from then on.
    void name_controls(std::span<const NameSpec> names);
    // Replaces the title and every caption that has a key by its text in the
    // language file, and the accessible names that come from them.
    void apply_language();
    // Puts a control back as the table creates it: its table text, no
    // picture, entries, rows, check mark or progress, its start-up state.
    void restore_control(int id);

    const std::string& lang_file() const { return m_lang_file; }
    void set_lang_file(const std::string& path) { m_lang_file = path; }
    // The text of `key` in the language file; "" when missing.
    std::string lang(const std::string& key) const;

    const DialogUnits& units() const { return m_units; }

    // Lays the dialog out for `room` (the pixels a window may take on its
    // screen, frame and panel already taken off): in dialog units of the
    // table's font where the dialog fits, else of a font made smaller, text
    // and rectangles alike, until the whole dialog fits. The dialog keeps a
    // fixed size. Each opening does this for the dialog's screen.
    void fit_to(const QSize& room);
    // The table's font size times this is the font the dialog shows.
    double font_scale() const { return m_font_scale; }
    // The room on `screen`: its work area less a window frame, and less a
    // panel when the work area is the whole screen (no panel reported).
    static QSize room_on(const QScreen* screen);
    // A fixed client size: the window has no sizing border.
    void set_fixed_client_size(const QSize& size);

    // Controls by id. A call for an id the dialog lacks, or of the wrong kind,
    // does nothing and reads as empty / false / -1.
    QWidget* control(int id) const;
    template <class T>
    T* control_as(int id) const { return qobject_cast<T*>(control(id)); }
    IpAddressEdit* ip_field(int id) const;
    ReportList* report_list(int id) const;

    QRect control_rect(int id) const;
    void move_control(int id, const QRect& rect);

    void set_text(int id, const std::string& text);
    std::string text(int id) const;
    void set_enabled(int id, bool enabled);
    bool is_enabled(int id) const;
    void set_shown(int id, bool shown);
    bool is_shown(int id) const;
    void set_checked(int id, bool checked);
    bool is_checked(int id) const;
    void set_focus(int id);
    bool has_focus(int id) const;

    // Combo entries: insert at a position (past the end appends); -1 selects nothing.
    void combo_clear(int id);
    void combo_insert(int id, int index, const std::string& text);
    int combo_count(int id) const;
    std::string combo_item(int id, int index) const;
    void combo_select(int id, int index);
    int combo_selection(int id) const;

    void set_progress(int id, int percent);
    int progress(int id) const;

    // List box lines: add keeps a sorted list box in text order; insert puts
    // a line at a position and ignores positions past the end.
    void list_box_clear(int id);
    int list_box_add(int id, const std::string& line);
    bool list_box_insert(int id, int position, const std::string& line);
    // Changes the text of the line at `position`; false when there is none.
    bool list_box_set_line(int id, int position, const std::string& line);
    int list_box_count(int id) const;
    std::string list_box_line(int id, int position) const;

    // A picture for a label (shown as is) or a frame (fitted to it).
    void set_picture(int id, const QPixmap& picture);

    // Every control id, ascending.
    std::vector<int> control_ids() const;

    // Handlers: a button, check box or frame clicked by the user; a combo's
    // selection changed by the user; a button pressed and released (held).
    void on_clicked(int id, std::function<void()> handler);
    void on_selection_changed(int id, std::function<void()> handler);
    void on_pressed(int id, std::function<void()> handler);
    void on_released(int id, std::function<void()> handler);

    // Tab order over the given ids, in order.
    void set_tab_order(std::initializer_list<int> ids);

    // Message box with texts looked up by key.
    MsgResult message_box(const std::string& text_key, const std::string& title_key, MsgButtons buttons = MsgButtons::Ok,
                          MsgIcon icon = MsgIcon::Exclamation);
    // The same with a text made by the dialog (for example a message and its reason).
    MsgResult message_box_text(const std::string& text, const std::string& title_key,
                               MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::Exclamation);
    std::optional<std::string> choose_file(const std::string& filter, const std::string& default_suffix);
    std::optional<std::string> choose_save_file(const std::string& filter, const std::string& default_suffix,
                                                const std::string& suggested_name);
    void set_ui_services(UiServices services) { m_services = services; }
    const UiServices& ui_services() const { return m_services; }

    // Visible controls whose caption is wider than the control: a check for
    // translations and screen scalings.
    std::vector<int> clipped_controls() const;
    // The width a control needs to show its caption whole.
    static int caption_width(const QWidget* control);

    void done(int result) override;

protected:
    // Runs each time the dialog is opened, before it is first painted.
    virtual void on_init() {}
    // The one way out of the dialog; return false to keep it open.
    virtual bool on_close_request() { return true; }

    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Control {
        ControlKind kind;
        QWidget* widget;
        const char* caption_key;
    };

    const Control* find(int id) const;
    QWidget* create_widget(const ControlSpec& control);
    void place(QWidget* widget, const ControlSpec& control);
    void apply_name(const NameSpec& name);
    void apply_names_labelled_by(int label_id);
    void lay_out(double font_scale);

    DialogSpec m_dialog{};
    double m_font_scale = 1.0;
    std::vector<ControlSpec> m_table;
    std::map<int, Control> m_controls;
    std::vector<NameSpec> m_names;
    std::set<int> m_sorted_lists;
    QPushButton* m_default_button = nullptr;
    std::string m_lang_file;
    const char* m_title_key = nullptr;
    DialogUnits m_units{1, 1};
    UiServices m_services;
    QtTranslations m_qt_texts;
    bool m_initialised = false;
    bool m_opened_before = false;
    bool m_closing = false;
};

}  // namespace ui
