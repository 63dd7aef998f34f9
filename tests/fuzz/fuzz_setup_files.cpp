// Any bytes as the general, channel and status files: the readers must decode
// them within their fall-backs, and saving (and rewriting the status record)
// must keep every other byte.
#include "acquisition/AcquisitionStatus.h"
#include "app/Starting.h"
#include "config/GettingParameters.h"
#include "config/SetupChannels.h"
#include "config/SetupGenParameters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

void Put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        std::abort();
}

QByteArray Get(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    static const bool made = QDir().mkpath(dir.path() + "/settingfiles");
    if (!made)
        std::abort();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Declarations d;
    d.AppFolder = dir.path();
    FillNameTables(d);
    for (const QString& name : {GeneralParametersFile, ChannelParametersFile, AcquisitionStatusFile})
        Put(SettingFilePath(d, name), bytes);

    if (!ReadGeneralParameters(d) || !ReadChannelParameters(d) || !ReadAcquisitionStatus(d))
        std::abort();
    if (d.SerialLine < 1 || d.SerialLine > 8 || d.StorageRate < 0 || d.StorageRate > 9)
        std::abort();
    (void)StorageRateCaption(d, d.GeneralValue[17]);

    // Saving rewrites records 16-17 (general) and 11-18 (channels) only.
    ChannelTexts texts;
    texts.fill(QStringLiteral("1.5"));
    if (!SaveGeneralParameters(d, QStringLiteral("3"), QStringLiteral("2")) ||
        !SaveChannelParameters(d, texts, texts))
        std::abort();
    const QByteArray general = Get(SettingFilePath(d, GeneralParametersFile));
    const QByteArray channels = Get(SettingFilePath(d, ChannelParametersFile));
    const auto unchangedBefore = [&](const QByteArray& after, qsizetype end) {
        const qsizetype n = qMin(bytes.size(), end);
        return after.left(n) == bytes.left(n);
    };
    if (!unchangedBefore(general, 15 * 80) || general.mid(17 * 80) != bytes.mid(17 * 80))
        std::abort();
    if (!unchangedBefore(channels, 10 * 80) || channels.mid(18 * 80) != bytes.mid(18 * 80))
        std::abort();
    if (general.mid(15 * 80 + 21, 59) != QByteArray("3").leftJustified(56, ' ') + "*\r\n")
        std::abort();
    for (int r = 11; r <= 18; ++r) {
        if (channels.mid((r - 1) * 80 + 35, 20) != "1.5      ;1.5      ;" ||
            channels.mid(r * 80 - 3, 3) != "*\r\n")
            std::abort();
    }

    // The status record: positions 1-21 and 23-43 as read, the flag, blanks.
    d.AcquisitionFlag = QStringLiteral("1");
    if (!WriteAcquisitionStatus(d))
        std::abort();
    const QByteArray status = Get(SettingFilePath(d, AcquisitionStatusFile));
    const QByteArray old = bytes.left(80).leftJustified(80, ' ');
    if (status.left(80) != old.left(21) + "1" + old.mid(22, 21) + QByteArray(37, ' ') ||
        status.mid(80) != bytes.mid(80))
        std::abort();
    return 0;
}
