// What a result code means, from the library's one list of codes. The codes
// never change meaning, so a message can always name both the number (for a
// support request or a log search) and what it means for the user.
#include "result_codes.h"

#include "tcore_result_codes.h"

const char* dsc_result_meaning(int code)
{
    switch (code) {
#define DSC_RESULT_MEANING(value, name, meaning)                                                                       \
    case value: return meaning;
        DSC_RESULT_CODES(DSC_RESULT_MEANING)
#undef DSC_RESULT_MEANING
    }
    return nullptr;
}
