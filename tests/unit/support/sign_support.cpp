#include "sign_support.h"

#include <vector>

#include "dsc_jna.h"
#include "tcore_codec.h"

std::string signedText(const std::string& data, int mode, const char* pin, bool passLength)
{
    char* text = Sgn_Sign(reinterpret_cast<const unsigned char*>(data.c_str()),
                          passLength ? static_cast<int>(data.size()) : 0, mode, pin);
    std::string result = text != nullptr ? text : "(null)";
    Sgn_Free(text);
    return result;
}
