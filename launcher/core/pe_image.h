// Reading the certificate-table size out of a PE image held in memory.
#pragma once
#include <cstddef>
#include <cstdint>

// Size field of data directory 4 (the certificate table). False when the bytes are not a
// PE image, the optional header magic is neither PE32 nor PE32+, or a field lies outside.
bool PeCertificateTableSize(const unsigned char* image, std::size_t size, std::uint32_t* out);
