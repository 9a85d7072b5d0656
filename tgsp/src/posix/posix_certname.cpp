// CertNameToStrW over the X.500 renderer. Only the X.500 form is provided;
// it is the one the library asks for.
#include <windows.h>
#include <wincrypt.h>

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "posix_keptmap.h"
#include "posix_nothrow.h"
#include "posix_x500name.h"

namespace {

// A name's DER and its rendering.
struct RenderedName {
    std::string der;
    std::u32string text;
};

// Names rendered before, by their exact DER: a search by DN renders the
// subject of every certificate on every selection, and equal bytes always
// render alike. A name that does not render is not kept.
constexpr size_t kMaxNames = 4096;
constexpr size_t kMaxNameBytes = size_t{4} << 20;
constinit posix_KeptMap<std::string_view, std::shared_ptr<const RenderedName>> renderedByBytes(kMaxNames,
                                                                                               kMaxNameBytes);
static_assert(std::is_trivially_destructible_v<decltype(renderedByBytes)>, "the names must outlive every caller");

__attribute__((destructor)) void forgetRendered() { renderedByBytes.freeUnlessBusy(); }

// The rendering of `name`, or null when it does not render.
std::shared_ptr<const RenderedName> rendered(const CERT_NAME_BLOB& name)
{
    const std::string_view der(reinterpret_cast<const char*>(name.pbData), name.pbData != nullptr ? name.cbData : 0);
    return renderedByBytes.findOrMake(
        der,
        [&]() -> std::shared_ptr<const RenderedName> {
            auto made = std::make_shared<RenderedName>();
            if (!posix_x500_render(name.pbData, name.cbData, &made->text)) return nullptr;
            made->der.assign(der);
            return made;
        },
        [](const auto& made) { return std::string_view(made->der); },
        [](const auto& made) { return sizeof *made + made->der.size() + made->text.size() * sizeof(char32_t); });
}

}  // namespace

DWORD CertNameToStrW(DWORD encodingType, PCERT_NAME_BLOB name, DWORD strType, LPWSTR psz, DWORD csz)
{
    return posix_noThrow([&]() -> DWORD {
        std::shared_ptr<const RenderedName> name32 = encodingType != 0 && name != nullptr &&
                                                             (strType & 0xFF) == CERT_X500_NAME_STR
                                                         ? rendered(*name)
                                                         : nullptr;
        const bool ok = name32 != nullptr;
        const std::u32string empty;
        const std::u32string& text = ok ? name32->text : empty;
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
