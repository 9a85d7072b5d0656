// Result codes of the Windows crypto layer. Codes never change meaning.
#pragma once

#include "tcore_errors.h"

#define TWCYT_ERR_ALG_NAME (-110010)
#define TWCYT_ERR_NO_INFO_SN (-260021)
#define TWCYT_ERR_NO_INFO_NAME (-260022)
#define TWCYT_ERR_FILETIME (-260023)
#define TWCYT_ERR_KEY_ALG (-260026)
#define TWCYT_ERR_SET_PROP (-260028)
#define TWCYT_ERR_GET_PROP (-260029)
#define TWCYT_ERR_EMPTY_NAME (-260031)
#define TWCYT_ERR_NOT_YET_VALID (-260034)
#define TWCYT_ERR_EXPIRED (-260035)

// Signing through a CryptoAPI provider
#define TWCYT_ERR_CREATE_HASH (-260003)
#define TWCYT_ERR_HASH_DATA (-260004)
#define TWCYT_ERR_ACQUIRE_CONTEXT (-260016)
#define TWCYT_ERR_NO_USER_KEY (-260018)
#define TWCYT_ERR_NO_PRIVATE_KEY (-260043)
#define TWCYT_ERR_NOT_BOUND (-260101)
#define TWCYT_ERR_SIGN_HASH (-260102)
