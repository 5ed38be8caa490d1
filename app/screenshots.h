#pragma once

#include <string>
#include <vector>

class CGuideMenu;

// What write_screenshots did: the files it wrote, or why it stopped.
struct ScreenshotResult {
    bool ok = false;
    std::string error;
    std::vector<std::string> files;
};

// Renders the launcher, the batch dialog and the test bench into PNG files
// in `dir` (launcher.png, batch-dialog.png, test-bench.png), each dialog
// shown without being run modally and closed afterwards. The two dialogs are
// given `settle_ms` to search the network first, so their device lists show
// what answered.
ScreenshotResult write_screenshots(CGuideMenu& menu, const std::string& dir, int settle_ms);
