#pragma once

#include "common/Declarations.h"
#include "common/RecordFile.h"
#include "config/SettingRecords.h"

namespace tarvek {

// Reads the forty general records into GeneralLabel/GeneralValue and decodes
// SerialLine and StorageRate. On a file that cannot be opened or read the
// tables hold blanks and the fall-backs (serial line 1, storage rate 0) apply;
// the failure is returned and written to stderr.
FileOutcome ReadGeneralParameters(const QString& appFolder, Declarations::SetUpState& setUp);

// Reads the records of channels 1..8 into ChannelParam, each field trimmed;
// SensorType comes from the general record 21 (as last read).
FileOutcome ReadChannelParameters(const QString& appFolder, Declarations::SetUpState& setUp);

// The decoding rules of records 16 and 17, applied to a record's value text.
int DecodeSerialLine(const QString& value);
int DecodeStorageRate(const QString& value);

} // namespace tarvek
