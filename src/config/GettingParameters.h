#pragma once

#include "app/Declarations.h"
#include "common/RecordFile.h"

// Record numbers of the general parameters file that carry a meaning.
constexpr int SerialLineRecord = 16;
constexpr int StorageRateRecord = 17;
constexpr int SensorTypeRecord = 21;
constexpr int GeneralRecordCount = 40;
// Channel c lies in record c + ChannelRecordOffset of the channel file.
constexpr int ChannelRecordOffset = 10;

// Reads the forty general records into GeneralLabel/GeneralValue and decodes
// SerialLine and StorageRate. On a file that cannot be opened or read the
// tables hold blanks and the fall-backs (serial line 1, storage rate 0) apply;
// the failure is returned and written to stderr.
FileOutcome ReadGeneralParameters(Declarations& d);

// Reads the records of channels 1..8 into ChannelParam, each field trimmed;
// SensorType comes from the general record 21 (as last read).
FileOutcome ReadChannelParameters(Declarations& d);

// The decoding rules of records 16 and 17, applied to a record's value text.
int DecodeSerialLine(const QString& value);
int DecodeStorageRate(const QString& value);
