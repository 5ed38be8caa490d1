// The longest time the batch dialog's GUI thread does not get to run when
// Upgrade starts a job on many simulated cameras, and over the whole job:
// a 1 ms timer ticks on the GUI thread, and the longest gap between two of
// its ticks is the longest stall. Five jobs, each flashing a new version;
// the median is the figure.
//
//   scripts/in-netns.sh build/bin/batch_dialog_stall_bench [--cameras 100] [--runs 5] [--speed 1]
//
// The cameras run in a child ipcsim process on loopback addresses, so the
// CPU time measured in a gap is the dialog process's own. By default the job
// runs in real time (about 50 s per job; a camera's reboot takes 3 s);
// --speed N makes the dialog's waits and the reboot N times shorter, which
// also makes the workers poll N times as often. Each gap is split into what
// the dialog process spent in it: the GUI thread's own CPU time (its handling
// of job reports and painting) and the whole process's (the GUI thread and
// the job's workers); the longest single event the GUI thread handled is
// printed with its type and receiver.
#include <sys/resource.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

#include "batch/dialog/batch_dlg_controls.h"
#include "discovery/xml_path.h"
#include "runtime/lang.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim_cameras.h"
#include "tests/client/ipcsim_child.h"
#include "ui/report_list.h"
#include "ui/scripted_services.h"

namespace {

using namespace batch_dlg;

// The longest gap between two ticks of the GUI thread's timer, and what the
// dialog's process did in it.
struct Gap {
    double wall_ms = 0;
    double gui_cpu_ms = 0;      // the GUI thread's own CPU time
    double process_cpu_ms = 0;  // every thread of this process
    long preempted = 0;         // times the GUI thread was preempted
};

struct Stalls {
    double handler_ms = 0;  // the Upgrade button's own handler
    Gap startup;            // from the click until two seconds into the job
    Gap job;                // over the whole job
};

double cpu_ms(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Times every event the GUI thread handles (outermost deliveries only) and
// keeps the longest: what the dialog itself spent in one go.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        if (m_depth > 0) return QApplication::notify(receiver, event);
        rusage before{}, after{};
        getrusage(RUSAGE_THREAD, &before);
        QElapsedTimer clock;
        clock.start();
        ++m_depth;
        const bool handled = QApplication::notify(receiver, event);
        --m_depth;
        const double wall = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        getrusage(RUSAGE_THREAD, &after);
        if (wall > m_longest.wall_ms)
            m_longest = {wall, cpu_ms(after) - cpu_ms(before), static_cast<int>(event->type()),
                         receiver->metaObject()->className(), after.ru_nvcsw - before.ru_nvcsw,
                         after.ru_nivcsw - before.ru_nivcsw};
        return handled;
    }

    struct Longest {
        double wall_ms = 0, gui_cpu_ms = 0;
        int event_type = 0;
        const char* receiver = "";
        long blocked = 0, preempted = 0;
    };
    Longest take_longest() { return std::exchange(m_longest, Longest{}); }

private:
    int m_depth = 0;
    Longest m_longest;
};

// Runs the GUI thread's event loop until `done`, recording the longest gap
// between ticks of a 1 ms timer; `take_longest()` starts a new window.
class StallMeter {
public:
    void run_until(const std::function<bool()>& done, int limit_ms) {
        QEventLoop loop;
        QTimer ticker, check;
        ticker.setInterval(1);
        check.setInterval(10);
        QObject::connect(&ticker, &QTimer::timeout, [this] { tick(); });
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (done() || m_clock.elapsed() > limit_ms) loop.quit();
        });
        tick();
        ticker.start();
        check.start();
        loop.exec();
    }
    void start() {
        m_clock.start();
        m_last = sample();
    }
    void tick() {
        const Sample now = sample();
        if (now.wall_ms - m_last.wall_ms > m_longest.wall_ms)
            m_longest = {now.wall_ms - m_last.wall_ms, now.gui_cpu_ms - m_last.gui_cpu_ms,
                         now.process_cpu_ms - m_last.process_cpu_ms, now.preempted - m_last.preempted};
        m_last = now;
    }
    Gap take_longest() { return std::exchange(m_longest, Gap{}); }
    qint64 elapsed() const { return m_clock.elapsed(); }

private:
    struct Sample {
        double wall_ms, gui_cpu_ms, process_cpu_ms;
        long preempted;
    };
    Sample sample() const {
        rusage thread{}, process{};
        getrusage(RUSAGE_THREAD, &thread);
        getrusage(RUSAGE_SELF, &process);
        return {static_cast<double>(m_clock.nsecsElapsed()) / 1e6, cpu_ms(thread), cpu_ms(process),
                thread.ru_nivcsw};
    }

    QElapsedTimer m_clock;
    Sample m_last{};
    Gap m_longest;
};

bool write_firmware(const std::string& path, int patch) {
    kaltro::FirmwareHeader header;
    header.board_type = 0x20;
    header.image_size = 256 * 1024;
    header.version[0] = 1;
    header.version[2] = patch;
    return kaltro::write_firmware_file(path, header, static_cast<std::uint32_t>(patch));
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Stalls one_job(CtervaneDlg& dialog, ui::ScriptedMessageBoxes& boxes) {
    StallMeter meter;
    meter.start();
    Stalls stalls;
    auto* upgrade = dialog.control_as<QAbstractButton>(IDC_BTN_UPGRADE);
    const std::size_t boxes_before = boxes.shown().size();
    QElapsedTimer handler;
    handler.start();
    upgrade->click();
    stalls.handler_ms = static_cast<double>(handler.nsecsElapsed()) / 1e6;
    meter.tick();  // the handler's time counts as a gap
    // Start-up: the file check, the job's start and its first two seconds,
    // in which every worker logs in and begins its transfer.
    meter.run_until([&] { return dialog.running(); }, 60000);
    const qint64 started = meter.elapsed();
    meter.run_until([&] { return meter.elapsed() > started + 2000; }, 60000);
    stalls.startup = meter.take_longest();
    meter.run_until([&] { return boxes.shown().size() > boxes_before && !dialog.running(); }, 600000);
    const Gap later = meter.take_longest();
    stalls.job = later.wall_ms > stalls.startup.wall_ms ? later : stalls.startup;
    return stalls;
}

void print_gap(const char* what, const Gap& gap) {
    std::printf("  %-22s %6.1f ms, GUI thread cpu %5.1f ms, process cpu %6.1f ms, GUI thread preempted %ld times\n",
                what, gap.wall_ms, gap.gui_cpu_ms, gap.process_cpu_ms, gap.preempted);
}

// The median of each figure on its own.
Gap median_gap(const std::vector<Stalls>& results, Gap Stalls::*which) {
    std::vector<double> wall, gui, process, preempted;
    for (const Stalls& s : results) {
        wall.push_back((s.*which).wall_ms);
        gui.push_back((s.*which).gui_cpu_ms);
        process.push_back((s.*which).process_cpu_ms);
        preempted.push_back(static_cast<double>((s.*which).preempted));
    }
    return {median(wall), median(gui), median(process), static_cast<long>(median(preempted))};
}

bool start_cameras(IpcsimChild& child, int cameras, const std::string& net, int reboot_ms) {
    return child.start({exe_dir() + "/ipcsim", "-n", std::to_string(cameras), "--base-ip", net + ".10",
                        "--cmd-port", "18700", "--device-type", "5", "--fw-version", "1.0.0",
                        "--discovery-address", net + ".1", "--discovery-port", std::to_string(kSimDiscoveryPort),
                        "--reboot-ms", std::to_string(reboot_ms)});
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TimedApplication app(argc, argv);
    int cameras = 100, runs = 5;
    double speed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--cameras") cameras = std::atoi(argv[i + 1]);
        if (std::string(argv[i]) == "--runs") runs = std::atoi(argv[i + 1]);
        if (std::string(argv[i]) == "--speed") speed = std::atof(argv[i + 1]);
    }
    set_trace_sink(&trace_null_sink, nullptr);
    xml_set_output(nullptr);
    QTemporaryDir scratch;  // settings, firmware and job reports of this run
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch.path());
    std::filesystem::current_path(scratch.path().toStdString());
    ui::ScriptedMessageBoxes boxes;
    ui::set_default_ui_services({&boxes, nullptr});
    rt_set_time_speed(speed);

    const std::string net = "127.0.83";
    IpcsimChild sim;
    if (!start_cameras(sim, cameras, net, static_cast<int>(3000 / speed))) {
        std::fprintf(stderr, "cannot start %s/ipcsim\n", exe_dir().c_str());
        return 1;
    }
    PosixUdpTransport host_transport{{"127.0.0.2"}};
    std::vector<Stalls> results;
    {
        CtervaneDlg dialog(nullptr, loopback_dialog_options(net + ".1", host_transport));
        dialog.show();
        ui::ReportList& list = *dialog.report_list(IDC_LIST_DEVICES);
        StallMeter wait;
        wait.start();
        wait.run_until([&] { return list.row_count() == cameras; }, 30000);
        if (list.row_count() != cameras) {
            std::fprintf(stderr, "only %d of %d cameras listed\n", list.row_count(), cameras);
            return 1;
        }
        dialog.set_text(IDC_EDIT_PASSWORD, "tovik");
        dialog.control_as<QAbstractButton>(IDC_BTN_SELECT_ALL)->click();
        const std::string firmware = scratch.path().toStdString() + "/stall.update";
        for (int run = 1; run <= runs; ++run) {
            if (!write_firmware(firmware, run)) return 1;
            dialog.set_text(IDC_EDIT_FW_PATH, firmware);
            app.take_longest();
            results.push_back(one_job(dialog, boxes));
            std::printf("job %d: handler %.1f ms\n", run, results.back().handler_ms);
            print_gap("longest at start-up", results.back().startup);
            print_gap("longest over the job", results.back().job);
            const TimedApplication::Longest event = app.take_longest();
            std::printf("  longest single event   %6.1f ms, GUI thread cpu %5.1f ms, blocked %ld, preempted %ld times (type %d to %s)\n",
                        event.wall_ms, event.gui_cpu_ms, event.blocked, event.preempted, event.event_type, event.receiver);
        }
        dialog.close();
    }
    std::vector<double> handler;
    for (const Stalls& s : results) handler.push_back(s.handler_ms);
    std::printf("%d cameras in a child ipcsim, median of %d jobs: handler %.1f ms\n", cameras, runs, median(handler));
    print_gap("longest at start-up", median_gap(results, &Stalls::startup));
    print_gap("longest over the job", median_gap(results, &Stalls::job));
    ui::set_default_ui_services({});
    return 0;
}
