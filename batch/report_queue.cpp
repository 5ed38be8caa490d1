#include "batch/report_queue.h"

void CReportQueue::set_notifier(std::function<void()> notifier) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_notifier = std::move(notifier);
}

void CReportQueue::push(const JobReport& report) {
    std::function<void()> notify;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        bool foldable = report.kind == REPORT_PROGRESS || report.kind == REPORT_COUNT;
        if (foldable && !m_reports.empty() && m_reports.back().kind == report.kind) {
            m_reports.back().data = report.data;
            return;
        }
        m_reports.push_back(report);
        if (m_reports.size() == 1) notify = m_notifier;
    }
    if (notify) notify();
}

std::vector<JobReport> CReportQueue::drain() {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<JobReport> out(m_reports.begin(), m_reports.end());
    m_reports.clear();
    return out;
}

std::size_t CReportQueue::size() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_reports.size();
}
