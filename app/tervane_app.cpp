#include "app/tervane_app.h"

#include <QApplication>
#include <QCommandLineParser>
#include <csignal>
#include <cstdio>
#include <optional>

#include "app/guide_menu.h"
#include "app/screenshots.h"
#include "discovery/xml_path.h"
#include "runtime/trace.h"

namespace {

// Read before any window system is touched, so --help works without a
// display. Returns the exit code when the program should end at once.
std::optional<int> parse_options(int argc, char** argv, CtervaneApp::Options* options) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription("tervane - set up and test IP cameras on the local network");
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption factory_test("factory-test", "Open the camera test bench instead of the launcher.");
    const QCommandLineOption screenshot("screenshot", "Render the launcher and the dialogs into PNG files in <dir> and quit.",
                                        "dir");
    const QCommandLineOption settle("settle-ms", "With --screenshot: how long each dialog searches first (ms).", "ms",
                                    "3000");
    parser.addOptions({help, factory_test, screenshot, settle});
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "tervane: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help)) {
        std::printf("%s", qPrintable(parser.helpText().replace("<executable_name>", "tervane")));
        return 0;
    }
    bool settle_ok = false;
    options->factory_test = parser.isSet(factory_test);
    options->screenshot_dir = parser.value(screenshot).toStdString();
    options->settle_ms = parser.value(settle).toInt(&settle_ok);
    if (!settle_ok || options->settle_ms < 0) {
        std::fprintf(stderr, "tervane: --settle-ms needs a number of milliseconds\n");
        return 2;
    }
    return std::nullopt;
}

}  // namespace

int CtervaneApp::run(int argc, char** argv) {
    Options options;
    if (std::optional<int> exit_code = parse_options(argc, argv, &options)) return *exit_code;
    QApplication app(argc, argv);
    app.setApplicationName("tervane");
    return InitInstance(options);
}

int CtervaneApp::InitInstance(const Options& options) {
    // A device that drops its connection mid-write must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    CGuideMenu menu;
    if (!options.screenshot_dir.empty()) {
        // Only the paths written go to the output, for the scripts that read it.
        xml_set_output(nullptr);
        set_trace_sink(trace_null_sink, nullptr);
        const ScreenshotResult shots = write_screenshots(menu, options.screenshot_dir, options.settle_ms);
        if (!shots.ok) std::fprintf(stderr, "tervane: %s\n", shots.error.c_str());
        for (const std::string& file : shots.files)
            if (!file.empty()) std::printf("%s\n", file.c_str());
        return shots.ok ? 0 : 1;
    }
    if (options.factory_test)
        menu.OnBnClickedButtonIpcTest();
    else
        menu.exec();
    return 0;
}
