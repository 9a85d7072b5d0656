#include "dsc_acx_chooser.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "dsc_acx_certinfo.h"
#include "tcore_errors.h"
#include "dsc_acx_selected.h"
#include "chooser_row.h"
#include "dsc_chooser.h"
#include "tcore_codepage.h"
#include "tcore_mem.h"

namespace {

constexpr int kRowArea = 512;

}  // namespace

void dsc_acx_chooserRow(int index, const dsc_acx_certinfo* info, char* row)
{
    // Without common names on either side the whole DNs stand in for them.
    bool noNames = info->subjectCn[0] == 0 && info->issuerCn[0] == 0;
    std::memset(row, 0, kRowArea);
    // Longer rows are cut on purpose; the row stays a text.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-truncation"
    std::string algorithm = chooser_escapeField<char>(info->keyAlg);
    std::string name = chooser_escapeField<char>(noNames ? info->subjectDn : info->subjectCn);
    std::string issuer = chooser_escapeField<char>(noNames ? info->issuerDn : info->issuerCn);
    std::snprintf(row, kRowArea - 1, "%d:%s:%s:%s", index, algorithm.c_str(), name.c_str(), issuer.c_str());
#pragma GCC diagnostic pop
}

int dsc_acx_showCertChooser(dsc_acx_certArray* candidates, int count)
{
    dsc_acx_releaseSelectedCert();
    if (candidates == nullptr || count <= 0) return DSC_ACX_ERR_CANCELLED;
    if (count > DSC_ACX_CERT_ARRAY) count = DSC_ACX_CERT_ARRAY;

    auto** rows = static_cast<wchar_t**>(tcore_zalloc(sizeof(wchar_t*) * static_cast<size_t>(count)));
    int rowCount = 0;
    for (int i = 0; i < count; ++i) {
        char row[kRowArea];
        dsc_acx_chooserRow(i, &candidates->slots[i], row);
        wchar_t* wide = nullptr;
        if (tcore_utf8ToWide(row, &wide) >= 0) rows[rowCount++] = wide;  // an unconvertible row is left out
    }
    int chosen = -1;
    int outcome = dsc_chooser_show(rows, rowCount, &chosen);
    int result = DSC_ACX_ERR_CANCELLED;
    if (outcome == DSC_CHOOSER_ACCEPTED && chosen >= 0 && chosen < count) {
        auto* record = static_cast<dsc_acx_certinfo*>(tcore_zalloc(sizeof(dsc_acx_certinfo)));
        dsc_acx_certinfo_move(record, &candidates->slots[chosen]);
        dsc_acx_selectedCert = record;
        result = 0;
    }
    for (int i = 0; i < rowCount; ++i) tcore_free(rows[i]);
    tcore_free(rows);
    return result;
}
