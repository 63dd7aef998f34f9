#pragma once

#include <QIODevice>
#include <QString>

#include <functional>

namespace tarvek {

// What an export writes, by the suffix of its file's name (any case): .png
// and .pdf, anything else CSV.
enum class ExportFormat { Csv, Png, Pdf };
ExportFormat ExportFormatOf(const QString& path);

// Writes an export to `path` whole or not at all (`write` returns false on a
// failure). "-", pipes and devices are written directly (never a link, never
// one nobody reads, never one swapped for another after the first look);
// links are refused; files go to an exclusive temporary beside `path`, synced,
// then renamed over it, with the old file's mode if the user owns it. On
// failure `error` gets "<path>: <what failed> (<reason>)".
bool WriteExport(const QString& path, const std::function<bool(QIODevice&)>& write, QString* error);

// How each format is written into a device (the window draws PNG and PDF).
struct ExportWriters {
    std::function<bool(QIODevice&)> csv, png, pdf;
};
// Writes `path` in the format its suffix names (ExportFormatOf), through
// WriteExport.
bool WriteExportAs(const QString& path, const ExportWriters& writers, QString* error);

} // namespace tarvek
