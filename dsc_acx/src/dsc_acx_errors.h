// Result codes of the signing-client layer and of the exported functions.
#pragma once

#define DSC_ACX_ERR_MODE (-1)
#define DSC_ACX_ERR_ARG (-1001)
#define DSC_ACX_ERR_CERT_BUFFER (-1003)
#define DSC_ACX_ERR_CANCELLED (-1005)
#define DSC_ACX_ERR_PROPERTY_TEXT (-1006)
#define DSC_ACX_ERR_CERT_LOAD (-1016)
#define DSC_ACX_ERR_SN_BUFFER (-1031)
#define DSC_ACX_ERR_NO_FIELD (-2008)
#define DSC_ACX_ERR_DN_TEXT (-2031)
#define DSC_ACX_ERR_SN_READ (-2032)
#define DSC_ACX_ERR_LOG_CREATE (-3009)
#define DSC_ACX_ERR_NO_CERT (-3011)
#define DSC_ACX_ERR_PROVIDER_PATH (-1034)
#define DSC_ACX_ERR_PROVIDER_LIST (-1035)
#define DSC_ACX_ERR_LOG_PATH (-1038)
#define DSC_ACX_ERR_PIN (-1040)
