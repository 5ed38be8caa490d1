// Device texts on the way to a terminal.
#include <gtest/gtest.h>

#include "cli/discover_output.h"
#include "cli/terminal_text.h"
#include "tests/discovery/reply_text.h"

TEST(TerminalText, ControlsFormatCharactersAndBadBytesAreShownEscaped) {
    EXPECT_EQ(terminal_text("V1.0.0"), "V1.0.0");
    EXPECT_EQ(terminal_text("\xe4\xb8\xad\xe6\x96\x87 V2"), "\xe4\xb8\xad\xe6\x96\x87 V2");  // UTF-8 text passes
    EXPECT_EQ(terminal_text("a\x1b]0;owned\x07z"), "a\\x1b]0;owned\\x07z");
    EXPECT_EQ(terminal_text("\r\n\t\x7f"), "\\x0d\\x0a\\x09\\x7f");
    EXPECT_EQ(terminal_text("\xc2\x9b" "2J"), "\\u009b2J");                  // C1 CSI
    EXPECT_EQ(terminal_text("ab\xe2\x80\xae" "cd"), "ab\\u202ecd");          // right-to-left override
    EXPECT_EQ(terminal_text("\xff\xc3(\xe2\x82"), "\\xff\\xc3(\\xe2\\x82");  // not UTF-8, cut sequence
    EXPECT_EQ(terminal_text("\xc0\xaf"), "\\xc0\\xaf");                      // overlong
    EXPECT_EQ(terminal_text("a\\x1b"), "a\\\\x1b");                           // a backslash is never ambiguous
}

TEST(TerminalText, TheDeviceTableShowsDeviceTextsEscapedAndWhole) {
    DEV_INFO device = test_device("AA:BB\x1b[2J", "10.0.0.5");
    std::strcpy(device.software_ver, "V1\x1b]0;x\x07\xff\xfe\xfd\xfc\xfb\xfa\xf9\xf8\xf7\xf6\xf5\xf4\xf3\xf2");
    std::string table = devices_table({found_native(device)});
    EXPECT_EQ(table.find('\x1b'), std::string::npos);
    EXPECT_NE(table.find("AA:BB\\x1b[2J"), std::string::npos);
    EXPECT_NE(table.find("V1\\x1b]0;x\\x07\\xff\\xfe\\xfd\\xfc\\xfb\\xfa\\xf9\\xf8\\xf7\\xf6\\xf5\\xf4\\xf3\\xf2  native    0x20\n"),
              std::string::npos);
}
