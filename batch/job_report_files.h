#pragma once

#include <ctime>
#include <string>

#include "batch/job_outcome.h"

// The job report: one JSON and one CSV file per job with the same content
// (layout in docs/job-report.md). Device texts are written as data, never
// as markup: JSON strings escaped, CSV fields quoted, bytes that are not
// UTF-8 replaced, and a CSV field that a spreadsheet would take for a
// formula starts with an apostrophe.
std::string job_report_json(const JobOutcome& outcome);
std::string job_report_csv(const JobOutcome& outcome);

// Writes `base`.json and `base`.csv, each to a temporary file first, flushed
// to the disk and renamed into place, so a reader (or the disk after a crash
// or a power cut) never holds half a report. Returns "" or what went wrong.
std::string write_job_report(const JobOutcome& outcome, const std::string& base);

// Writes a report under a new base name in `dir` (created when missing) from
// the local date and time, "2024-05-01_14-03-27", with "-2", "-3"... when a
// report of that second exists, into `base`. The name is taken and the JSON
// file filled in one step, so no other writer takes it and no reader finds
// it empty. Returns "" or what went wrong.
std::string write_dated_report(const JobOutcome& outcome, const std::string& dir, std::time_t when,
                               std::string& base);

// Writes `text` over `path` at once, through a temporary file beside it
// flushed to the disk and renamed into place: a reader finds the old file or
// the new one, whole. Returns "" or what went wrong.
std::string write_file_whole(const std::string& path, const std::string& text);

// The folder beside the GUI's logs (its working directory) that holds its reports.
inline constexpr const char* kJobReportDir = "job_reports";
