#include "ui/ip_address_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>

#include "ui/qt_text.h"

namespace ui {

namespace {

// Digits only, at most three, at most 255; an empty box is acceptable.
class OctetValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        if (input.size() > 3) return Invalid;
        for (QChar c : input)
            if (!c.isDigit() || c.unicode() > '9') return Invalid;
        return input.isEmpty() || input.toInt() <= 255 ? Acceptable : Invalid;
    }
};

std::optional<int> parse_octet(const std::string& part) {
    if (part.empty() || part.size() > 3) return std::nullopt;
    int value = 0;
    for (char c : part) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value <= 255 ? std::optional<int>(value) : std::nullopt;
}

}  // namespace

std::optional<std::uint32_t> parse_dotted_ipv4(const std::string& text) {
    std::uint32_t address = 0;
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t dot = text.find('.', start);
        const bool last = i == 3;
        if (last != (dot == std::string::npos)) return std::nullopt;
        const auto octet = parse_octet(text.substr(start, last ? std::string::npos : dot - start));
        if (!octet) return std::nullopt;
        address = (address << 8) | static_cast<std::uint32_t>(*octet);
        start = dot + 1;
    }
    return address;
}

IpAddressEdit::IpAddressEdit(QWidget* parent) : QFrame(parent) {
    // One sunken box around four frameless octets, so it reads as one field.
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    for (int i = 0; i < 4; ++i) {
        if (i > 0) layout->addWidget(new QLabel(QStringLiteral("."), this));
        auto* box = new QLineEdit(this);
        box->setValidator(new OctetValidator(box));
        box->setAlignment(Qt::AlignCenter);
        box->setFrame(false);
        box->setMaxLength(3);
        box->installEventFilter(this);
        connect(box, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (text.size() == 3 && i < 3) focus_octet(i + 1, false);
            emit edited();
        });
        layout->addWidget(box, 1);
        m_octets[static_cast<std::size_t>(i)] = box;
    }
    setFocusProxy(m_octets[0]);
}

std::string IpAddressEdit::text() const {
    const auto address = value();
    if (!address) return "";
    return std::to_string(*address >> 24) + "." + std::to_string((*address >> 16) & 0xFF) + "." +
           std::to_string((*address >> 8) & 0xFF) + "." + std::to_string(*address & 0xFF);
}

bool IpAddressEdit::set_text(const std::string& text) {
    const auto address = parse_dotted_ipv4(text);
    if (address)
        set_value(*address);
    else
        clear();
    return address.has_value();
}

std::optional<std::uint32_t> IpAddressEdit::value() const {
    if (is_blank()) return std::nullopt;
    std::uint32_t address = 0;
    for (const QLineEdit* box : m_octets) address = (address << 8) | static_cast<std::uint32_t>(box->text().toInt());
    return address;
}

void IpAddressEdit::set_value(std::uint32_t address) {
    for (int i = 0; i < 4; ++i)
        m_octets[static_cast<std::size_t>(i)]->setText(QString::number((address >> (24 - 8 * i)) & 0xFF));
}

bool IpAddressEdit::is_blank() const {
    for (const QLineEdit* box : m_octets)
        if (!box->text().isEmpty()) return false;
    return true;
}

void IpAddressEdit::clear() {
    for (QLineEdit* box : m_octets) box->clear();
}

QSize IpAddressEdit::sizeHint() const {
    const int digits = m_octets[0]->fontMetrics().horizontalAdvance(QStringLiteral("0000"));
    return QSize(4 * digits + 3 * fontMetrics().horizontalAdvance('.') + 2 * frameWidth() + 4,
                 m_octets[0]->sizeHint().height() + 2 * frameWidth());
}

void IpAddressEdit::set_accessible_name(const QString& name) {
    setAccessibleName(name);
    for (int i = 0; i < 4; ++i)
        m_octets[static_cast<std::size_t>(i)]->setAccessibleName(QStringLiteral("%1 %2/4").arg(name).arg(i + 1));
}

std::vector<QWidget*> IpAddressEdit::focus_chain() const { return {m_octets.begin(), m_octets.end()}; }

int IpAddressEdit::octet_index(QObject* box) const {
    for (int i = 0; i < 4; ++i)
        if (m_octets[static_cast<std::size_t>(i)] == box) return i;
    return -1;
}

void IpAddressEdit::focus_octet(int index, bool at_end) {
    QLineEdit* box = m_octets[static_cast<std::size_t>(index)];
    box->setFocus(Qt::OtherFocusReason);
    if (at_end)
        box->end(false);
    else
        box->selectAll();
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
    const int index = octet_index(watched);
    if (index < 0 || event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    QLineEdit* box = m_octets[static_cast<std::size_t>(index)];
    if (key->matches(QKeySequence::Paste) && set_text(from_q(QApplication::clipboard()->text().trimmed()))) {
        emit edited();
        return true;
    }
    if (key->text() == QStringLiteral(".")) {
        if (index < 3 && !box->text().isEmpty()) focus_octet(index + 1, false);
        return true;
    }
    if (key->key() == Qt::Key_Backspace && box->cursorPosition() == 0 && !box->hasSelectedText() && index > 0) {
        focus_octet(index - 1, true);
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

}  // namespace ui
