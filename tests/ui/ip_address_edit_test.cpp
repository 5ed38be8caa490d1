// The IPv4 address field: strict parsing, typing, and what it reads back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>

#include "ui/ip_address_edit.h"

using namespace ui;

TEST(ParseDottedIpv4, AcceptsFourOctetsOnly) {
    EXPECT_EQ(parse_dotted_ipv4("192.168.1.10"), 0xC0A8010Au);
    EXPECT_EQ(parse_dotted_ipv4("0.0.0.0"), 0u);
    EXPECT_EQ(parse_dotted_ipv4("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(parse_dotted_ipv4("010.001.000.009"), 0x0A010009u);
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.256", "1..2.3", "1.2.3.", ".1.2.3",
                            " 1.2.3.4", "1.2.3.4 ", "a.b.c.d", "1234.1.1.1", "-1.2.3.4", "1.2.3.4\n", "0x1.2.3.4"})
        EXPECT_FALSE(parse_dotted_ipv4(bad).has_value()) << '"' << bad << '"';
}

class IpAddressEditTest : public ::testing::Test {
protected:
    IpAddressEditTest() {
        field.show();
        field.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&field));
        field.setFocus();
    }
    QLineEdit* octet(int i) const { return field.findChildren<QLineEdit*>()[i]; }
    IpAddressEdit field;
};

TEST_F(IpAddressEditTest, BlankFieldReadsEmpty) {
    EXPECT_TRUE(field.is_blank());
    EXPECT_EQ(field.text(), "");
    EXPECT_FALSE(field.value().has_value());
}

TEST_F(IpAddressEditTest, SetAndReadAsTextAndNumber) {
    EXPECT_TRUE(field.set_text("10.77.0.1"));
    EXPECT_EQ(field.text(), "10.77.0.1");
    EXPECT_EQ(field.value(), 0x0A4D0001u);
    field.set_value(0xC0A80132u);
    EXPECT_EQ(field.text(), "192.168.1.50");
    EXPECT_TRUE(field.set_text("010.001.000.009"));
    EXPECT_EQ(field.text(), "10.1.0.9");  // read back in canonical form
}

TEST_F(IpAddressEditTest, TextThatIsNotAnAddressEmptiesTheField) {
    field.set_text("192.168.1.50");
    EXPECT_FALSE(field.set_text("not an address"));
    EXPECT_TRUE(field.is_blank());
    field.set_text("192.168.1.50");
    EXPECT_FALSE(field.set_text(""));
    EXPECT_EQ(field.text(), "");
}

TEST_F(IpAddressEditTest, EmptyOctetsOfAPartlyFilledFieldReadAsZero) {
    octet(0)->setText("192");
    octet(3)->setText("7");
    EXPECT_EQ(field.text(), "192.0.0.7");
}

TEST_F(IpAddressEditTest, TypingMovesOnAtDotsAndAfterThreeDigits) {
    // Each key goes to whichever octet has the focus, as a keyboard's would.
    for (char c : std::string("192.168.1.10")) QTest::keyClick(QApplication::focusWidget(), c);
    EXPECT_EQ(field.text(), "192.168.1.10");
    field.clear();
    octet(0)->setFocus();
    for (char c : std::string("10.1.2.3")) QTest::keyClick(QApplication::focusWidget(), c);
    EXPECT_EQ(field.text(), "10.1.2.3");
}

TEST_F(IpAddressEditTest, RejectsLettersAndNumbersAbove255) {
    octet(0)->setFocus();
    QTest::keyClicks(octet(0), "3x0");
    EXPECT_EQ(octet(0)->text(), "30");
    QTest::keyClicks(octet(0), "0");  // 300 is refused
    EXPECT_EQ(octet(0)->text(), "30");
    QTest::keyClicks(octet(0), "-");
    EXPECT_EQ(octet(0)->text(), "30");
}

TEST_F(IpAddressEditTest, BackspaceInAnEmptyOctetGoesBack) {
    field.set_text("1.2.3.4");
    octet(1)->setFocus();
    octet(1)->clear();
    QTest::keyClick(octet(1), Qt::Key_Backspace);
    EXPECT_EQ(QApplication::focusWidget(), octet(0));
}

TEST_F(IpAddressEditTest, PastingAWholeAddressFillsAllOctets) {
    QApplication::clipboard()->setText(" 172.16.5.4 ");
    octet(2)->setFocus();
    QTest::keySequence(octet(2), QKeySequence::Paste);
    EXPECT_EQ(field.text(), "172.16.5.4");
}
