#include "chooser_texts.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

const chooser_texts kTexts[] = {
    {"选择签名证书", "请选择签名要使用的证书:", "确定", "取消", {"证书名称", "颁发者", "证书算法"}},
    {"選擇簽名證書:", "請選擇簽名要使用的證書:", "確定", "取消", {"證書名稱", "頒發者", "證書算法"}},
    {"Choose a certificate",
     "Please select a certificate for sign:",
     "OK",
     "CANCEL",
     {"CertificateName", "Issuer", "CertificateAlgorithm"}},
};

constexpr uint32_t kLangChinese = 0x04;
constexpr uint32_t kSublangTaiwan = 1;
constexpr uint32_t kSublangPrc = 2;
constexpr uint32_t kSublangHongKong = 3;

// True when `name` is `territory` ("zh_CN") alone or followed by a codeset
// or modifier ("zh_CN.UTF-8", "zh_CN@pinyin").
bool isLocale(const char* name, const char* territory)
{
    size_t n = std::strlen(territory);
    if (std::strncmp(name, territory, n) != 0) return false;
    return name[n] == 0 || name[n] == '.' || name[n] == '@';
}

}  // namespace

const chooser_texts* chooser_textsFor(int language)
{
    if (language < CHOOSER_LANG_SIMPLIFIED || language > CHOOSER_LANG_ENGLISH) language = CHOOSER_LANG_ENGLISH;
    return &kTexts[language];
}

int chooser_languageForLcid(uint32_t lcid, int current)
{
    uint32_t primary = lcid & 0x3FF;
    uint32_t sublanguage = (lcid >> 10) & 0x3F;
    if (primary != kLangChinese) return CHOOSER_LANG_ENGLISH;
    if (sublanguage == kSublangPrc) return CHOOSER_LANG_SIMPLIFIED;
    if (sublanguage == kSublangTaiwan || sublanguage == kSublangHongKong) return CHOOSER_LANG_TRADITIONAL;
    return current;
}

int chooser_languageForLocaleName(const char* name, int current)
{
    if (name == nullptr) return CHOOSER_LANG_ENGLISH;
    if (isLocale(name, "zh_CN")) return CHOOSER_LANG_SIMPLIFIED;
    if (isLocale(name, "zh_TW") || isLocale(name, "zh_HK")) return CHOOSER_LANG_TRADITIONAL;
    if (isLocale(name, "zh") || std::strncmp(name, "zh_", 3) == 0) return current;
    return CHOOSER_LANG_ENGLISH;
}

int chooser_languageFromEnvironment()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != 0) return chooser_languageForLocaleName(value, CHOOSER_LANG_SIMPLIFIED);
    }
    return CHOOSER_LANG_ENGLISH;
}
