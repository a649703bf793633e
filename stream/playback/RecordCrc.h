#pragma once
// The CRC-16 that protects playback record headers (polynomial 0x1021, initial 0xFFFF, MSB first).

#include <cstddef>
#include <cstdint>

namespace vistrel::playback {

// Fills the 256-entry table. Safe to call more than once and from several threads; RecordCrc16
// builds it on first use if nobody has.
void BuildRecordCrcTable();

// CRC over `length` bytes, no reflection and no final exclusive-or.
std::uint16_t RecordCrc16(const std::uint8_t* data, std::size_t length);

// CRC of a record header as sent: the two CRC bytes count as zero.
std::uint16_t RecordHeaderCrc(const std::uint8_t* header, std::size_t headerLength);

}  // namespace vistrel::playback
