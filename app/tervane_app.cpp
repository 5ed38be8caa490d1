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
#include "ui/program_icon.h"

namespace {

struct ProgramOptions {
    QCommandLineParser parser;
    QCommandLineOption help{{"h", "help"}, "Show this help."};
    QCommandLineOption factory_test{"factory-test", "Open the camera test bench instead of the launcher."};
    QCommandLineOption screenshot{"screenshot", "Render the launcher and the dialogs into PNG files in <dir> and quit.",
                                  "dir"};
    QCommandLineOption settle{"settle-ms", "With --screenshot: how long each dialog searches first (ms).", "ms",
                              "3000"};
    QCommandLineOption trace{"trace", "Write the trace to standard error and discovery's XML messages to standard output."};

    ProgramOptions() {
        parser.setApplicationDescription(
            "tervane - set up and test IP cameras on the local network\n\n"
            "Qt's standard options are accepted as well, for example -style fusion or -platform xcb.");
        parser.addOptions({help, factory_test, screenshot, settle, trace});
    }
};

QStringList arguments_of(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// --help is answered before any window system is touched, so it works
// without a display; Qt's own options are not known yet and pass here.
bool asks_for_help(int argc, char** argv) {
    ProgramOptions options;
    options.parser.parse(arguments_of(argc, argv));
    if (!options.parser.isSet(options.help)) return false;
    std::printf("%s", qPrintable(options.parser.helpText().replace("<executable_name>", "tervane")));
    return true;
}

// Reads the program's own options from what Qt left of the command line.
// Returns the exit code when the program should end at once.
std::optional<int> parse_options(const QStringList& arguments, CtervaneApp::Options* result) {
    ProgramOptions options;
    if (!options.parser.parse(arguments)) {
        std::fprintf(stderr, "tervane: %s\n", qPrintable(options.parser.errorText()));
        return 2;
    }
    bool settle_ok = false;
    result->factory_test = options.parser.isSet(options.factory_test);
    result->trace = options.parser.isSet(options.trace);
    result->screenshot_dir = options.parser.value(options.screenshot).toStdString();
    result->settle_ms = options.parser.value(options.settle).toInt(&settle_ok);
    if (!settle_ok || result->settle_ms < 0) {
        std::fprintf(stderr, "tervane: --settle-ms needs a number of milliseconds\n");
        return 2;
    }
    return std::nullopt;
}

}  // namespace

int CtervaneApp::run(int argc, char** argv) {
    if (asks_for_help(argc, argv)) return 0;
    // QApplication takes Qt's standard options (-style, -platform, ...) out
    // of the command line; the program's own are read from the rest.
    QApplication app(argc, argv);
    app.setApplicationName("tervane");
    app.setWindowIcon(ui::program_icon());
    Options options;
    if (std::optional<int> exit_code = parse_options(app.arguments(), &options)) return *exit_code;
    return InitInstance(options);
}

int CtervaneApp::InitInstance(const Options& options) {
    // A device that drops its connection mid-write must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    // Quiet unless asked: with a hundred cameras the trace and the XML of
    // every reply would be tens of kilobytes every few seconds. Screenshots
    // print only the paths they write, for the scripts that read them.
    if (!options.trace || !options.screenshot_dir.empty()) {
        xml_set_output(nullptr);
        set_trace_sink(trace_null_sink, nullptr);
    }
    CGuideMenu menu;
    if (!options.screenshot_dir.empty()) {
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
