#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32C (Castagnoli polynomial, reflected, initial value all ones, final
// complement): the older of the two file checksums a manifest can name. `start`
// is the result over the bytes before these, so a long range can be summed in
// pieces; 0 begins a new sum.
uint32_t Crc32c(const void* data, size_t length, uint32_t start = 0);

// The two implementations behind Crc32c, which picks one on its first call.
// Both give equal results; they are open for tests and measurements.
// Crc32cHardware may only be called when HasCrc32Instruction() is true.
bool HasCrc32Instruction();
uint32_t Crc32cHardware(const void* data, size_t length, uint32_t start = 0);
uint32_t Crc32cSoftware(const void* data, size_t length, uint32_t start = 0);

// Four bytes that, appended to data whose Crc32c is `current`, make the sum
// `target`: the publisher brings a font to the checksum the launcher accepts.
// The last four table indices of a sum are fixed by its value alone (the top
// byte of each table entry names its index), so they are read off backwards
// from `target`; then the bytes that lead to those indices from `current` follow.
void Crc32cForcingBytes(uint32_t current, uint32_t target, uint8_t bytes[4]);
