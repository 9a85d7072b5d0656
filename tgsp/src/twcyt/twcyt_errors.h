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
