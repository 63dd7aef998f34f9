// Any bytes as the general, channel, status and instrument files: the readers
// must decode them within their fall-backs, and saving (and rewriting the
// status record) must keep every other byte.
#include "common/Folders.h"
#include "config/AcquisitionStatus.h"
#include "config/GettingParameters.h"
#include "config/InstrumentParameters.h"
#include "config/SetupChannels.h"
#include "config/SetupGenParameters.h"
#include "config/Starting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

using namespace tarvek;

namespace {

constexpr auto Require = [](bool ok) { return ok ? void() : std::abort(); };

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    static const bool made = QDir().mkpath(dir.path() + "/settingfiles");
    Require(made);
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Declarations state;
    state.AppFolder = dir.path();
    FillStorageRateNames(state.StorageRateName);
    const auto content = [&](const QString& name, const QByteArray* write = nullptr) {
        QFile f(SettingFilePath(state.AppFolder, name));
        Require(f.open(write ? QIODevice::WriteOnly | QIODevice::Truncate : QIODevice::ReadOnly));
        Require(!write || f.write(*write) == write->size());
        return write ? QByteArray() : f.readAll();
    };
    for (const QString& name :
         {GeneralParametersFile, ChannelParametersFile, AcquisitionStatusFile, InstrumentParametersFile})
        content(name, &bytes);

    // Whatever the instrument file says, the poll only sees what a line can carry.
    Require(ReadInstrumentParameters(state.AppFolder, state.SetUp).ok);
    const InstrumentSetUp instrument = DecodeInstrumentSetUp(state.SetUp.InstrumentValue);
    Require(instrument.replyTimeoutMs >= MinReplyTimeoutMs && instrument.replyTimeoutMs <= MaxReplyTimeoutMs);
    for (const auto& source : instrument.sources)
        Require(!source ||
                (source->address >= 1 && source->address <= 247 &&
                 (source->function == ReadHoldingRegisters || source->function == ReadInputRegisters) &&
                 source->reg >= 0 && source->reg + RegisterWidth(source->type) <= 65536));

    Require(ReadGeneralParameters(state.AppFolder, state.SetUp) &&
            ReadChannelParameters(state.AppFolder, state.SetUp) && ReadAcquisitionStatus(state.AppFolder));
    Require(state.SetUp.SerialLine >= 1 && state.SetUp.SerialLine <= 8 && state.SetUp.StorageRate >= 0 &&
            state.SetUp.StorageRate <= 9);
    (void)StorageRateCaption(state.StorageRateName, state.SetUp.GeneralValue[17]);

    // Saving rewrites records 16-17 (general) and 11-18 (channels) only.
    ChannelTexts texts;
    texts.fill(QStringLiteral("1.5"));
    Require(SaveGeneralParameters(state.AppFolder, state.SetUp.GeneralLabel, QStringLiteral("3"),
                                  QStringLiteral("2")) &&
            SaveChannelParameters(state.AppFolder, texts, texts));
    const QByteArray general = content(GeneralParametersFile), channels = content(ChannelParametersFile);
    const auto keptBefore = [&](const QByteArray& after, qsizetype end) {
        return after.left(qMin(bytes.size(), end)) == bytes.left(end);
    };
    Require(keptBefore(general, 15 * 80) && general.mid(17 * 80) == bytes.mid(17 * 80));
    Require(keptBefore(channels, 10 * 80) && channels.mid(18 * 80) == bytes.mid(18 * 80));
    Require(general.mid(15 * 80 + 21, 59) == QByteArray("3").leftJustified(56, ' ') + "*\r\n");
    for (int r = 11; r <= 18; ++r)
        Require(channels.mid((r - 1) * 80 + 35, 20) == "1.5      ;1.5      ;" &&
                channels.mid(r * 80 - 3, 3) == "*\r\n");

    // The status record: positions 1-21 and 23-43 as read, the flag, blanks.
    state.AcquisitionFlag = QStringLiteral("1");
    Require(WriteAcquisitionStatus(state.AppFolder, state.AcquisitionFlag).ok);
    const QByteArray old = bytes.left(80).leftJustified(80, ' ');
    Require(content(AcquisitionStatusFile) ==
            old.left(21) + "1" + old.mid(22, 21) + QByteArray(37, ' ') + bytes.mid(80));
    return 0;
}
