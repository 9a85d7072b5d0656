// What the chooser must show in each language, written out independently of
// the library's own table so a slip in either shows up.
#pragma once

#include <string>

struct ChooserExpectedTexts {
    std::string title, prompt, ok, cancel, columns[3];
};

inline const ChooserExpectedTexts& chooser_expectedTexts(int language)
{
    static const ChooserExpectedTexts texts[] = {
        {"选择签名证书", "请选择签名要使用的证书:", "确定", "取消", {"证书名称", "颁发者", "证书算法"}},
        {"選擇簽名證書:", "請選擇簽名要使用的證書:", "確定", "取消", {"證書名稱", "頒發者", "證書算法"}},
        {"Choose a certificate",
         "Please select a certificate for sign:",
         "OK",
         "CANCEL",
         {"CertificateName", "Issuer", "CertificateAlgorithm"}},
    };
    return texts[language];
}
