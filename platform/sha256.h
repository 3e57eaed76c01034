// SHA-256 from the system's library: nettle on Linux, CNG (bcrypt) on Windows.
#pragma once

#include <cstddef>

const size_t SHA256_BYTES = 32;

// The digest of the size bytes at data into digest; false when the system's library failed (CNG
// can, nettle cannot).
bool sha256(const void* data, size_t size, unsigned char digest[SHA256_BYTES]);
