#pragma once

#include <QFrame>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QLineEdit;

namespace ui {

// Parses a dotted IPv4 address in its strict form: four decimal numbers of at
// most three digits, each 0..255, nothing else. The value is in host order
// (192.168.1.2 -> 0xC0A80102).
std::optional<std::uint32_t> parse_dotted_ipv4(const std::string& text);

// An IPv4 address field: four octet boxes that accept only numbers up to 255.
// Typing '.' or a third digit moves on to the next box, Backspace in an empty
// box moves back, and pasting a whole address fills all four.
class IpAddressEdit : public QFrame {
    Q_OBJECT
public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    // "" when every box is empty; otherwise the dotted address, an empty box
    // read as 0.
    std::string text() const;
    // Shows a dotted address; any other text (not an address, or "") empties
    // the field and returns false.
    bool set_text(const std::string& text);

    // The address in host order; nothing when every box is empty.
    std::optional<std::uint32_t> value() const;
    void set_value(std::uint32_t address);

    bool is_blank() const;
    void clear();

    QSize sizeHint() const override;

    // Names the field and each of its octet boxes, which is where the focus
    // and so a screen reader's attention goes ("Gateway 1/4" .. "4/4").
    void set_accessible_name(const QString& name);

    // The octet boxes in the order Tab visits them.
    std::vector<QWidget*> focus_chain() const;

signals:
    void edited();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int octet_index(QObject* box) const;
    void focus_octet(int index, bool at_end);

    std::array<QLineEdit*, 4> m_octets{};
};

}  // namespace ui
