#pragma once

#include <QIODevice>
#include <QString>

#include <functional>

namespace tarvek {

// What an export writes, by the suffix of its file's name (any case): .png
// and .pdf, anything else CSV.
enum class ExportFormat { Csv, Png, Pdf };
ExportFormat ExportFormatOf(const QString& path);

// Writes an export to `path` whole or not at all; `write` puts every byte
// into the device it is given and returns false on a failure it saw.
//
// "-" is standard output, and an existing pipe or device is written as it
// goes (never replaced by a file). A symbolic link is refused: an export
// never writes through a link planted in a shared folder. Anything else is
// written unbuffered into a new file beside `path` (made exclusively, so
// never through a link either), synced, and renamed over `path` only when
// every byte was written; a failure leaves `path` as it was and no other
// file. A file replaced keeps its permissions.
//
// On failure `error` gets "<path>: <what failed> (<reason>)".
bool WriteExport(const QString& path, const std::function<bool(QIODevice&)>& write, QString* error);

// How each format is written into a device (the window draws PNG and PDF).
struct ExportWriters {
    std::function<bool(QIODevice&)> csv, png, pdf;
};
// Writes `path` in the format its suffix names (ExportFormatOf), through
// WriteExport.
bool WriteExportAs(const QString& path, const ExportWriters& writers, QString* error);

} // namespace tarvek
