#pragma once

#include <QString>
#include <optional>
#include <string>

class QWidget;

namespace ui {

// Chooses one existing file to open, or a file to save to. `filter` is
// written the classic way, "description|pattern|description|pattern||" (e.g.
// "update files(*.update)|*.update||"); `default_suffix` is added to a typed
// name without one. Returns the full path, or nothing when the user cancels.
class FileDialogService {
public:
    virtual ~FileDialogService() = default;
    virtual std::optional<std::string> open_file(QWidget* parent, const std::string& filter,
                                                 const std::string& default_suffix) = 0;
    // `suggested_name` is the name the dialog starts with; a file that
    // exists is replaced only after the user said yes to it.
    virtual std::optional<std::string> save_file(QWidget* parent, const std::string& filter,
                                                 const std::string& default_suffix,
                                                 const std::string& suggested_name) = 0;
};

// The real one: a QFileDialog (Qt's own, so it looks the same on every desktop
// and in offscreen tests).
class QtFileDialogService : public FileDialogService {
public:
    std::optional<std::string> open_file(QWidget* parent, const std::string& filter,
                                         const std::string& default_suffix) override;
    std::optional<std::string> save_file(QWidget* parent, const std::string& filter,
                                         const std::string& default_suffix,
                                         const std::string& suggested_name) override;
};

// Converts a "description|pattern|...||" filter to Qt's
// "description (pattern);;..." form; patterns separated by ';' become blanks.
QString qt_name_filters(const std::string& filter);

}  // namespace ui
