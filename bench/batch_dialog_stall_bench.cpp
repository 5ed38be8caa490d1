// The longest time the batch dialog's GUI thread does not get to run when
// Upgrade starts a job on many simulated cameras, and over the whole job:
// a 1 ms timer ticks on the GUI thread, and the longest gap between two of
// its ticks is the longest stall. Five jobs, each flashing a new version;
// the median is the figure.
//
//   QT_QPA_PLATFORM=offscreen scripts/in-netns.sh build/bin/batch_dialog_stall_bench [--cameras 100] [--runs 5]
//
// The cameras run in this process on loopback addresses, time sped up 100
// times (as in the dialog's tests).
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
#include <vector>

#include "batch/dialog/batch_dlg_controls.h"
#include "discovery/xml_path.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim_cameras.h"
#include "ui/report_list.h"
#include "ui/scripted_services.h"

namespace {

using namespace batch_dlg;

struct Stalls {
    double handler_ms = 0;   // the Upgrade button's own handler
    double startup_ms = 0;   // longest gap from the click until two seconds into the job
    double job_ms = 0;       // longest gap over the whole job
};

// Runs the GUI thread's event loop until `done`, recording the longest gap
// between ticks of a 1 ms timer; `mark()` starts a new window.
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
        m_last = m_clock.elapsed();
        ticker.start();
        check.start();
        loop.exec();
    }
    void start() { m_clock.start(); }
    void tick() {
        const qint64 now = m_clock.elapsed();
        rusage usage{};
        getrusage(RUSAGE_THREAD, &usage);
        const double cpu = usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3 +
                           usage.ru_stime.tv_usec / 1e3;
        if (now - m_last > m_longest) {
            m_longest = now - m_last;
            m_longest_cpu = cpu - m_last_cpu;
            m_longest_waits = usage.ru_nvcsw - m_last_waits;
            m_longest_preempted = usage.ru_nivcsw - m_last_preempted;
        }
        m_last = now;
        m_last_cpu = cpu;
        m_last_waits = usage.ru_nvcsw;
        m_last_preempted = usage.ru_nivcsw;
    }
    // What the GUI thread did during the longest gap: its own CPU time, the
    // times it blocked and the times it was preempted.
    void print_longest() const {
        std::printf("  longest gap %lld ms: GUI thread cpu %.1f ms, blocked %ld times, preempted %ld times\n",
                    static_cast<long long>(m_longest), m_longest_cpu, m_longest_waits, m_longest_preempted);
    }
    qint64 take_longest() { return std::exchange(m_longest, 0); }
    qint64 elapsed() const { return m_clock.elapsed(); }

private:
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    double m_last_cpu = 0, m_longest_cpu = 0;
    long m_last_waits = 0, m_longest_waits = 0, m_last_preempted = 0, m_longest_preempted = 0;
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
    meter.print_longest();
    stalls.startup_ms = static_cast<double>(meter.take_longest());
    meter.run_until([&] { return boxes.shown().size() > boxes_before && !dialog.running(); }, 600000);
    stalls.job_ms = std::max(stalls.startup_ms, static_cast<double>(meter.take_longest()));
    return stalls;
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    int cameras = 100, runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--cameras") cameras = std::atoi(argv[i + 1]);
        if (std::string(argv[i]) == "--runs") runs = std::atoi(argv[i + 1]);
    }
    set_trace_sink(&trace_null_sink, nullptr);
    xml_set_output(nullptr);
    QTemporaryDir scratch;  // settings, firmware and job reports of this run
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch.path());
    std::filesystem::current_path(scratch.path().toStdString());
    ui::ScriptedMessageBoxes boxes;
    ui::set_default_ui_services({&boxes, nullptr});
    rt_set_time_speed(100);

    SimCameras sim(cameras);
    if (std::string error = sim.start(); !error.empty()) {
        std::fprintf(stderr, "cameras: %s\n", error.c_str());
        return 1;
    }
    std::vector<Stalls> results;
    {
        CtervaneDlg dialog(nullptr, sim.dialog_options());
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
            results.push_back(one_job(dialog, boxes));
            const Stalls& s = results.back();
            std::printf("job %d: handler %.1f ms, longest stall at start-up %.0f ms, over the job %.0f ms\n", run,
                        s.handler_ms, s.startup_ms, s.job_ms);
        }
        dialog.close();
    }
    std::vector<double> handler, startup, job;
    for (const Stalls& s : results) {
        handler.push_back(s.handler_ms);
        startup.push_back(s.startup_ms);
        job.push_back(s.job_ms);
    }
    std::printf("%d cameras, median of %d jobs: handler %.1f ms, start-up stall %.0f ms, whole-job stall %.0f ms\n",
                cameras, runs, median(handler), median(startup), median(job));
    ui::set_default_ui_services({});
    return 0;
}
