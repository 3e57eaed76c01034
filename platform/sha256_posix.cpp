#include "platform/sha256.h"

#include <nettle/sha2.h>

bool sha256(const void* data, size_t size, unsigned char digest[SHA256_BYTES])
{
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, size, (const uint8_t*)data);
    sha256_digest(&context, SHA256_BYTES, digest);
    return true;
}
