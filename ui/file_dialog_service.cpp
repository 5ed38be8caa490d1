#include "ui/file_dialog_service.h"

#include <QFileDialog>
#include <QStringList>

#include "ui/qt_text.h"

namespace ui {

namespace {

// Qt reads the patterns from the last "(...)" of a description, so a
// description that already ends in its own "(*.x)" loses it first.
QString description_without_patterns(QString description) {
    description = description.trimmed();
    if (description.endsWith(')')) {
        const qsizetype open = description.lastIndexOf('(');
        if (open >= 0) description = description.left(open).trimmed();
    }
    return description;
}

}  // namespace

QString qt_name_filters(const std::string& filter) {
    const QStringList parts = to_q(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = parts[i + 1].split(';', Qt::SkipEmptyParts).join(' ').trimmed();
        if (patterns.isEmpty()) continue;
        QString description = description_without_patterns(parts[i]);
        if (description.isEmpty()) description = patterns;
        filters << QStringLiteral("%1 (%2)").arg(description, patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

namespace {

std::optional<std::string> run_file_dialog(QFileDialog& dialog, const std::string& filter,
                                           const std::string& default_suffix) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(qt_name_filters(filter));
    dialog.setDefaultSuffix(to_q(default_suffix));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return from_q(dialog.selectedFiles().first());
}

}  // namespace

std::optional<std::string> QtFileDialogService::open_file(QWidget* parent, const std::string& filter,
                                                          const std::string& default_suffix) {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    return run_file_dialog(dialog, filter, default_suffix);
}

std::optional<std::string> QtFileDialogService::save_file(QWidget* parent, const std::string& filter,
                                                          const std::string& default_suffix,
                                                          const std::string& suggested_name) {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(to_q(suggested_name));
    return run_file_dialog(dialog, filter, default_suffix);
}

}  // namespace ui
