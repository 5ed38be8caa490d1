// Accessible names of the controls that show no caption of their own.
#include "ui/dialog_base.h"
#include "ui/ip_address_edit.h"
#include "ui/qt_text.h"

namespace ui {

void DialogBase::name_controls(std::span<const NameSpec> names) {
    m_names.assign(names.begin(), names.end());
    for (const NameSpec& name : m_names) apply_name(name);
}

void DialogBase::apply_name(const NameSpec& name) {
    QWidget* w = control(name.id);
    if (!w) return;
    // The label's caption as shown, without its keyboard mnemonic marker.
    QString text = name.label_id != 0 ? to_q(this->text(name.label_id)).remove('&')
                                      : to_q(name.name_key ? lang(name.name_key) : "");
    if (auto* ip = qobject_cast<IpAddressEdit*>(w))
        ip->set_accessible_name(text);
    else
        w->setAccessibleName(text);
}

void DialogBase::apply_names_labelled_by(int label_id) {
    for (const NameSpec& name : m_names)
        if (name.label_id == label_id) apply_name(name);
}

}  // namespace ui
