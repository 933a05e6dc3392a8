// Building one record of known data length (internal to the writer).
#pragma once

#include "xlsblob.h"

namespace kelvora {

// A record buffer sized for the header and dataLength bytes, with the header written.
inline TXLSBlobPtr NewRecord(std::uint16_t type, std::uint16_t dataLength) {
    auto record = TXLSBlob::Create(kRecordHeaderSize + dataLength);
    record->AddWord(type);
    record->AddWord(dataLength);
    return record;
}

// A record whose data is a single word.
inline TXLSBlobPtr WordRecord(std::uint16_t type, std::uint16_t value) {
    auto record = NewRecord(type, 2);
    record->AddWord(value);
    return record;
}

} // namespace kelvora
