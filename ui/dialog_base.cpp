#include "ui/dialog_base.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "runtime/lang.h"
#include "ui/clickable_frame.h"
#include "ui/ip_address_edit.h"
#include "ui/program_icon.h"
#include "ui/qt_text.h"
#include "ui/report_list.h"

namespace ui {

DialogBase::DialogBase(QWidget* parent) : QDialog(parent), m_services(default_ui_services()) {
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowIcon(program_icon());
}

void DialogBase::build(const DialogSpec& dialog, std::span<const ControlSpec> controls) {
    m_dialog = dialog;
    m_title_key = dialog.title_key;
    m_table.assign(controls.begin(), controls.end());

    for (const ControlSpec& control : controls) {
        QWidget* widget = create_widget(control);
        widget->setObjectName(QStringLiteral("control_%1").arg(control.id));
        m_controls[control.id] = Control{control.kind, widget, control.caption_key};
        set_enabled(control.id, !(control.flags & kDisabled));
        widget->setVisible(!(control.flags & kHidden));
        if (control.kind == ControlKind::ListBox && (control.flags & kSorted)) m_sorted_lists.insert(control.id);
    }
    // Group boxes frame the controls around them, so they lie beneath them.
    for (auto& [id, control] : m_controls)
        if (control.kind == ControlKind::GroupBox) control.widget->lower();
    lay_out(1.0);
}

// The font, the dialog units derived from it, the client size and every
// control's rectangle, for the table's font size times `font_scale`.
void DialogBase::lay_out(double font_scale) {
    QFont font = QApplication::font();
    font.setPointSizeF(m_dialog.font_point_size * font_scale);
    setFont(font);
    m_font_scale = font_scale;
    m_units = DialogUnits(font);
    set_fixed_client_size(QSize(m_units.to_px_x(m_dialog.width_dlu), m_units.to_px_y(m_dialog.height_dlu)));
    for (const ControlSpec& row : m_table) place(m_controls.at(row.id).widget, row);
}

void DialogBase::fit_to(const QSize& room) {
    // Font metrics do not scale exactly with the point size, so the size is
    // approached in a few steps; below a tenth of the font nothing is usable.
    constexpr int kShrinkSteps = 12, kGrowSteps = 6;
    constexpr double kSmallestScale = 0.1;
    const auto fits = [&] { return width() <= room.width() && height() <= room.height(); };
    lay_out(1.0);
    double too_big = 1.0;
    for (int step = 0; step < kShrinkSteps && !fits() && m_font_scale > kSmallestScale; ++step) {
        too_big = m_font_scale;
        const double share = std::min(double(room.width()) / width(), double(room.height()) / height());
        lay_out(std::max(kSmallestScale, m_font_scale * std::min(share, 0.98)));
    }
    if (too_big == m_font_scale || !fits()) return;
    // Dialog units are whole pixels, so a range of font sizes gives the same
    // layout: the largest font of the layout that fits reads best.
    double fitting = m_font_scale;
    for (int step = 0; step < kGrowSteps; ++step) {
        const double middle = (fitting + too_big) / 2;
        lay_out(middle);
        if (fits()) fitting = middle;
        else too_big = middle;
    }
    if (m_font_scale != fitting) lay_out(fitting);
}

QSize DialogBase::room_on(const QScreen* screen) {
    // A title bar and borders as common window managers draw them, and a
    // panel as desktops commonly keep at one edge.
    constexpr int kFrameWidth = 16, kFrameHeight = 40, kPanelHeight = 48;
    if (!screen) return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QRect work = screen->availableGeometry();
    const int panel = work.height() == screen->geometry().height() ? kPanelHeight : 0;
    return QSize(work.width() - kFrameWidth, work.height() - kFrameHeight - panel);
}

void DialogBase::set_fixed_client_size(const QSize& size) { setFixedSize(size); }

QWidget* DialogBase::create_widget(const ControlSpec& control) {
    const QString text = QString::fromUtf8(control.text ? control.text : "");
    switch (control.kind) {
    case ControlKind::Label: return new QLabel(text, this);
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(text, this);
        if (control.flags & kPassword) edit->setEchoMode(QLineEdit::Password);
        return edit;
    }
    case ControlKind::Button: {
        auto* button = new QPushButton(text, this);
        if (control.flags & kDefaultButton) {
            button->setDefault(true);
            m_default_button = button;
        }
        return button;
    }
    case ControlKind::CheckBox: return new QCheckBox(text, this);
    case ControlKind::GroupBox: return new QGroupBox(text, this);
    case ControlKind::Combo: return new QComboBox(this);
    case ControlKind::ReportList: return new ReportList(control.flags & kCheckBoxes, this);
    case ControlKind::ListBox: {
        auto* list = new QListWidget(this);
        list->setSortingEnabled(false);  // list_box_add places lines itself
        return list;
    }
    case ControlKind::IpAddress: return new IpAddressEdit(this);
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    case ControlKind::Frame: return new ClickableFrame(this);
    }
    return new QWidget(this);
}

void DialogBase::place(QWidget* widget, const ControlSpec& control) {
    QRect rect = m_units.to_px(control.rect);
    // A combo's rectangle includes its dropped-down list; the closed box
    // takes the height it needs for its font.
    if (control.kind == ControlKind::Combo) rect.setHeight(widget->sizeHint().height());
    widget->setGeometry(rect);
}

void DialogBase::apply_language() {
    if (m_title_key) setWindowTitle(to_q(lang(m_title_key)));
    for (auto& [id, control] : m_controls)
        if (control.caption_key) set_text(id, lang(control.caption_key));
    for (const NameSpec& name : m_names) apply_name(name);
}

void DialogBase::restore_control(int id) {
    const auto row = std::find_if(m_table.begin(), m_table.end(), [id](const ControlSpec& c) { return c.id == id; });
    QWidget* w = control(id);
    if (row == m_table.end() || !w) return;
    const QString text = QString::fromUtf8(row->text ? row->text : "");
    if (auto* label = qobject_cast<QLabel*>(w)) label->setText(text);  // drops a picture too
    else if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(w)) group->setTitle(text);
    else if (auto* combo = qobject_cast<QComboBox*>(w)) combo->clear();
    else if (auto* list = qobject_cast<ReportList*>(w)) list->clear_rows();
    else if (auto* lines = qobject_cast<QListWidget*>(w)) lines->clear();
    else if (auto* ip = qobject_cast<IpAddressEdit*>(w)) ip->set_text("");
    else if (auto* bar = qobject_cast<QProgressBar*>(w)) bar->setValue(0);
    else if (auto* frame = qobject_cast<ClickableFrame*>(w)) frame->set_picture(QPixmap());
    if (auto* box = qobject_cast<QCheckBox*>(w)) box->setChecked(false);
    set_enabled(id, !(row->flags & kDisabled));
    w->setVisible(!(row->flags & kHidden));
}

std::string DialogBase::lang(const std::string& key) const { return lang_string(m_lang_file, key); }

const DialogBase::Control* DialogBase::find(int id) const {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : &it->second;
}

QWidget* DialogBase::control(int id) const {
    const Control* c = find(id);
    return c ? c->widget : nullptr;
}

IpAddressEdit* DialogBase::ip_field(int id) const { return control_as<IpAddressEdit>(id); }

ReportList* DialogBase::report_list(int id) const { return control_as<ReportList>(id); }

QRect DialogBase::control_rect(int id) const {
    const QWidget* w = control(id);
    return w ? w->geometry() : QRect();
}

void DialogBase::move_control(int id, const QRect& rect) {
    if (QWidget* w = control(id)) w->setGeometry(rect);
}

void DialogBase::set_text(int id, const std::string& text) {
    QWidget* w = control(id);
    const QString q = to_q(text);
    if (auto* label = qobject_cast<QLabel*>(w)) label->setText(q);
    else if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setText(q);
    else if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(q);
    else if (auto* group = qobject_cast<QGroupBox*>(w)) group->setTitle(q);
    else if (auto* combo = qobject_cast<QComboBox*>(w)) combo->setCurrentIndex(combo->findText(q));
    else if (auto* ip = qobject_cast<IpAddressEdit*>(w)) ip->set_text(text);
    apply_names_labelled_by(id);
}

std::string DialogBase::text(int id) const {
    const QWidget* w = control(id);
    if (auto* label = qobject_cast<const QLabel*>(w)) return from_q(label->text());
    if (auto* edit = qobject_cast<const QLineEdit*>(w)) return from_q(edit->text());
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) return from_q(button->text());
    if (auto* group = qobject_cast<const QGroupBox*>(w)) return from_q(group->title());
    if (auto* combo = qobject_cast<const QComboBox*>(w)) return from_q(combo->currentText());
    if (auto* ip = qobject_cast<const IpAddressEdit*>(w)) return ip->text();
    return "";
}

// A report list is locked rather than disabled, so that it still scrolls.
void DialogBase::set_enabled(int id, bool enabled) {
    if (auto* list = report_list(id)) list->set_locked(!enabled);
    else if (QWidget* w = control(id)) w->setEnabled(enabled);
}

bool DialogBase::is_enabled(int id) const {
    if (const auto* list = report_list(id)) return !list->locked() && list->isEnabled();
    const QWidget* w = control(id);
    return w && w->isEnabled();
}

void DialogBase::set_shown(int id, bool shown) {
    if (QWidget* w = control(id)) w->setVisible(shown);
}

// Shown means "visible whenever the dialog is", so it reads the same before
// the dialog opens.
bool DialogBase::is_shown(int id) const {
    const QWidget* w = control(id);
    return w && !w->isHidden();
}

void DialogBase::set_checked(int id, bool checked) {
    if (auto* box = control_as<QCheckBox>(id)) box->setChecked(checked);
}

bool DialogBase::is_checked(int id) const {
    const auto* box = control_as<QCheckBox>(id);
    return box && box->isChecked();
}

void DialogBase::set_focus(int id) {
    if (QWidget* w = control(id)) w->setFocus(Qt::OtherFocusReason);
}

bool DialogBase::has_focus(int id) const {
    const QWidget* w = control(id);
    const QWidget* focus = focusWidget();
    return w && focus && (focus == w || w->isAncestorOf(focus));
}

void DialogBase::combo_clear(int id) {
    if (auto* combo = control_as<QComboBox>(id)) combo->clear();
}

void DialogBase::combo_insert(int id, int index, const std::string& text) {
    auto* combo = control_as<QComboBox>(id);
    if (!combo) return;
    const int at = index < 0 || index > combo->count() ? combo->count() : index;
    const bool was_empty = combo->count() == 0;
    combo->insertItem(at, to_q(text));
    // Filling a combo selects nothing by itself; the dialog chooses.
    if (was_empty) combo->setCurrentIndex(-1);
}

int DialogBase::combo_count(int id) const {
    const auto* combo = control_as<QComboBox>(id);
    return combo ? combo->count() : 0;
}

std::string DialogBase::combo_item(int id, int index) const {
    const auto* combo = control_as<QComboBox>(id);
    return combo ? from_q(combo->itemText(index)) : "";
}

void DialogBase::combo_select(int id, int index) {
    auto* combo = control_as<QComboBox>(id);
    if (combo) combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

int DialogBase::combo_selection(int id) const {
    const auto* combo = control_as<QComboBox>(id);
    return combo ? combo->currentIndex() : -1;
}

void DialogBase::set_progress(int id, int percent) {
    if (auto* bar = control_as<QProgressBar>(id)) bar->setValue(std::clamp(percent, bar->minimum(), bar->maximum()));
}

int DialogBase::progress(int id) const {
    const auto* bar = control_as<QProgressBar>(id);
    return bar ? bar->value() : 0;
}

void DialogBase::list_box_clear(int id) {
    if (auto* list = control_as<QListWidget>(id)) list->clear();
}

int DialogBase::list_box_add(int id, const std::string& line) {
    auto* list = control_as<QListWidget>(id);
    if (!list) return -1;
    const QString text = to_q(line);
    int position = list->count();
    // Only a sorted list box orders what is added; others append.
    if (m_sorted_lists.count(id))
        while (position > 0 && QString::localeAwareCompare(text, list->item(position - 1)->text()) < 0) --position;
    list->insertItem(position, text);
    return position;
}

bool DialogBase::list_box_insert(int id, int position, const std::string& line) {
    auto* list = control_as<QListWidget>(id);
    if (!list || position < 0 || position > list->count()) return false;
    list->insertItem(position, to_q(line));
    return true;
}

bool DialogBase::list_box_set_line(int id, int position, const std::string& line) {
    auto* list = control_as<QListWidget>(id);
    QListWidgetItem* item = list ? list->item(position) : nullptr;
    if (!item) return false;
    item->setText(to_q(line));
    return true;
}

int DialogBase::list_box_count(int id) const {
    const auto* list = control_as<QListWidget>(id);
    return list ? list->count() : 0;
}

std::string DialogBase::list_box_line(int id, int position) const {
    const auto* list = control_as<QListWidget>(id);
    const QListWidgetItem* item = list ? list->item(position) : nullptr;
    return item ? from_q(item->text()) : "";
}

void DialogBase::set_picture(int id, const QPixmap& picture) {
    if (auto* label = control_as<QLabel>(id)) label->setPixmap(picture);
    else if (auto* frame = control_as<ClickableFrame>(id)) frame->set_picture(picture);
}

std::vector<int> DialogBase::control_ids() const {
    std::vector<int> ids;
    for (const auto& entry : m_controls) ids.push_back(entry.first);
    return ids;
}

void DialogBase::on_clicked(int id, std::function<void()> handler) {
    QWidget* w = control(id);
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        connect(button, &QAbstractButton::clicked, this, [handler] { handler(); });
    else if (auto* frame = qobject_cast<ClickableFrame*>(w))
        connect(frame, &ClickableFrame::clicked, this, [handler] { handler(); });
}

void DialogBase::on_selection_changed(int id, std::function<void()> handler) {
    if (auto* combo = control_as<QComboBox>(id))
        connect(combo, &QComboBox::activated, this, [handler](int) { handler(); });
}

void DialogBase::on_pressed(int id, std::function<void()> handler) {
    if (auto* button = control_as<QAbstractButton>(id)) connect(button, &QAbstractButton::pressed, this, handler);
}

void DialogBase::on_released(int id, std::function<void()> handler) {
    if (auto* button = control_as<QAbstractButton>(id)) connect(button, &QAbstractButton::released, this, handler);
}

void DialogBase::set_tab_order(std::initializer_list<int> ids) {
    QWidget* previous = nullptr;
    for (int id : ids) {
        QWidget* w = control(id);
        if (!w) continue;
        // An address field is four stops; Qt would keep only the first.
        const auto* ip = qobject_cast<IpAddressEdit*>(w);
        for (QWidget* stop : ip ? ip->focus_chain() : std::vector<QWidget*>{w}) {
            if (previous) setTabOrder(previous, stop);
            previous = stop;
        }
    }
}

MsgResult DialogBase::message_box(const std::string& text_key, const std::string& title_key, MsgButtons buttons,
                                  MsgIcon icon) {
    return message_box_text(lang(text_key), title_key, buttons, icon);
}

MsgResult DialogBase::message_box_text(const std::string& text, const std::string& title_key, MsgButtons buttons,
                                       MsgIcon icon) {
    return m_services.message_boxes->show(this, lang(title_key), text, buttons, icon);
}

std::optional<std::string> DialogBase::choose_file(const std::string& filter, const std::string& default_suffix) {
    return m_services.file_dialogs->open_file(this, filter, default_suffix);
}

std::optional<std::string> DialogBase::choose_save_file(const std::string& filter, const std::string& default_suffix,
                                                        const std::string& suggested_name) {
    return m_services.file_dialogs->save_file(this, filter, default_suffix, suggested_name);
}

int DialogBase::caption_width(const QWidget* control) {
    // A push button's size hint has a style minimum (80 px) that says nothing
    // about its caption, so its need is measured from the text itself.
    if (auto* button = qobject_cast<const QPushButton*>(control)) {
        const QStyle* style = button->style();
        const int margins = 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                                 style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button));
        return button->fontMetrics().horizontalAdvance(button->text().remove('&')) + margins;
    }
    if (qobject_cast<const QLabel*>(control) || qobject_cast<const QAbstractButton*>(control))
        return control->sizeHint().width();
    return 0;
}

std::vector<int> DialogBase::clipped_controls() const {
    std::vector<int> clipped;
    for (const auto& [id, control] : m_controls)
        if (!control.widget->isHidden() && caption_width(control.widget) > control.widget->width())
            clipped.push_back(id);
    return clipped;
}

void DialogBase::showEvent(QShowEvent* event) {
    if (!m_initialised) {
        m_initialised = true;
        // Every opening starts from the window the table makes, as a new
        // window would; the dialog object alone remembers the last session.
        if (m_opened_before)
            for (const ControlSpec& row : m_table) restore_control(row.id);
        m_opened_before = true;
        fit_to(room_on(screen()));
        on_init();
        m_qt_texts.follow(m_lang_file);
    }
    QDialog::showEvent(event);
}

void DialogBase::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || event->modifiers() & ~Qt::KeypadModifier) {
        QDialog::keyPressEvent(event);
        return;
    }
    // A focused push button has taken its Enter already; this one came from
    // another control.
    if (m_default_button && m_default_button->isVisible() && m_default_button->isEnabled()) m_default_button->click();
    event->accept();
}

void DialogBase::done(int result) {
    // A close confirmation may run a nested event loop; a second close
    // request arriving meanwhile waits for the first one's answer.
    if (m_closing) return;
    m_closing = true;
    const bool close = on_close_request();
    m_closing = false;
    if (!close) return;
    m_initialised = false;  // the next opening initialises again
    m_qt_texts.remove();
    QDialog::done(result);
}

}  // namespace ui
