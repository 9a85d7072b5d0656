// libgcrypt, set up once for the Windows tests that compute with it.
#pragma once

#include <gcrypt.h>

inline void gcrypt_init()
{
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) return;
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
}
