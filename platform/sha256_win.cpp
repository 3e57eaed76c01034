#include "platform/sha256.h"

#include <windows.h>

#include <bcrypt.h>   // after windows.h

// The algorithm's provider, opened once for the run (CNG's handles may be shared by threads).
static BCRYPT_ALG_HANDLE sha256Provider()
{
    static BCRYPT_ALG_HANDLE provider = []() {
        BCRYPT_ALG_HANDLE opened = NULL;
        if (BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, NULL, 0) != 0) {
            opened = NULL;
        }
        return opened;
    }();
    return provider;
}

bool sha256(const void* data, size_t size, unsigned char digest[SHA256_BYTES])
{
    BCRYPT_ALG_HANDLE provider = sha256Provider();
    BCRYPT_HASH_HANDLE hash = NULL;
    if (provider == NULL || BCryptCreateHash(provider, &hash, NULL, 0, NULL, 0, 0) != 0) {
        return false;
    }
    bool done = true;
    const unsigned char* at = (const unsigned char*)data;
    for (size_t left = size; left > 0 && done;) {   // ULONG pieces
        ULONG piece = left > 0x40000000 ? 0x40000000 : (ULONG)left;
        done = BCryptHashData(hash, (PUCHAR)at, piece, 0) == 0;
        at += piece;
        left -= piece;
    }
    done = done && BCryptFinishHash(hash, digest, (ULONG)SHA256_BYTES, 0) == 0;
    BCryptDestroyHash(hash);
    return done;
}
