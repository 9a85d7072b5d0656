// CertNameToStrW over the X.500 renderer. Only the X.500 form is provided;
// it is the one the library asks for.
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "posix_nothrow.h"
#include "posix_x500name.h"

DWORD CertNameToStrW(DWORD encodingType, PCERT_NAME_BLOB name, DWORD strType, LPWSTR psz, DWORD csz)
{
    return posix_noThrow([&]() -> DWORD {
        std::u32string text;
        bool ok = encodingType != 0 && name != nullptr && (strType & 0xFF) == CERT_X500_NAME_STR &&
                  posix_x500_render(name->pbData, name->cbData, &text);
        if (!ok) text.clear();
        // wchar_t holds a whole code point here: one unit per character.
        auto need = static_cast<DWORD>(text.size() + 1);
        if (psz != nullptr && csz > 0) {
            // A short buffer gets the text cut to fit, with its NUL.
            DWORD n = need <= csz ? need - 1 : csz - 1;
            for (DWORD i = 0; i < n; ++i) psz[i] = static_cast<wchar_t>(text[i]);
            psz[n] = L'\0';
            need = n + 1;
        }
        SetLastError(ok                  ? ERROR_SUCCESS
                     : encodingType == 0 ? ERROR_FILE_NOT_FOUND
                                         : static_cast<DWORD>(CRYPT_E_ASN1_BADTAG));
        return need;
    });
}
