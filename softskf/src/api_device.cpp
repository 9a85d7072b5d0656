// Devices: enumeration, connection, DEVINFO, label, state, random numbers.
#include <algorithm>
#include <cstring>

#include "token_limits.h"
#include "output.h"
#include "session.h"

using namespace softskf;

namespace {

// Fills a text field to its last byte, so a caller that trusts the NUL runs off the end.
void put_unterminated(SKF_CHAR* field, std::size_t width, const std::string& text)
{
    for (std::size_t i = 0; i < width; ++i) field[i] = text.empty() ? 'X' : text[i % text.size()];
}

void put_full_width(SKF_CHAR* field, std::size_t width, const std::string& text)
{
    std::memset(field, 0, width);
    std::memcpy(field, text.data(), std::min(text.size(), width));
}

void fill_devinfo(const DeviceInfo& info, DEVINFO& out, bool unterminated)
{
    std::memset(&out, 0, sizeof out);
    out.Version = {1, 0};
    out.HWVersion = {info.hw_major, info.hw_minor};
    out.FirmwareVersion = {info.fw_major, info.fw_minor};
    out.AlgSymCap = 0;
    out.AlgAsymCap = SGD_RSA | SGD_SM2_1;
    out.AlgHashCap = SGD_SM3 | SGD_SHA1 | SGD_SHA256;
    out.DevAuthAlgId = SGD_SM4_ECB;
    out.TotalSpace = info.total_space;
    out.FreeSpace = info.free_space;
    out.MaxECCBufferSize = 1024;
    out.MaxBufferSize = 4096;
    auto put = unterminated ? put_unterminated : put_text;
    put(out.Manufacturer, sizeof out.Manufacturer, info.manufacturer);
    put(out.Issuer, sizeof out.Issuer, info.issuer);
    // Label and serial number fill their 32 bytes when they are that long,
    // with no room left for a NUL, as real tokens send them.
    auto put_field = unterminated ? put_unterminated : put_full_width;
    put_field(out.Label, sizeof out.Label, info.label);
    put_field(out.SerialNumber, sizeof out.SerialNumber, info.serial_number);
    if (info.user_data) put(reinterpret_cast<SKF_CHAR*>(out.Reserved), sizeof out.Reserved, *info.user_data);
}

bool valid_utf8(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra;
        if (c < 0x80)
            extra = 0;
        else if ((c & 0xE0) == 0xC0)
            extra = 1;
        else if ((c & 0xF0) == 0xE0)
            extra = 2;
        else if ((c & 0xF8) == 0xF0)
            extra = 3;
        else
            return false;
        if (i + extra >= text.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace

extern "C" {

SKF_ULONG DEVAPI SKF_EnumDev(SKF_BOOL bPresent, SKF_LPSTR szNameList, SKF_ULONG* pulSize)
{
    return run_call("SKF_EnumDev", [&](Call& call) -> SKF_ULONG {
        if (pulSize == nullptr) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults({})) return rc;
        std::vector<std::string> names;
        for (const Device& d : call.state().devices)
            if (d.present || !bPresent) names.push_back(d.name);
        return put_name_list(names, szNameList, pulSize, call.hostile());
    });
}

SKF_ULONG DEVAPI SKF_ConnectDev(SKF_LPSTR szName, DEVHANDLE* phDev)
{
    return run_call("SKF_ConnectDev", [&](Call& call) -> SKF_ULONG {
        std::string name;
        if (phDev == nullptr || !read_text(szName, limits::device_name, name)) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults({name, {}, {}})) return rc;
        Device* device = find_device(call.state(), name);
        if (!device) return SAR_INVALIDPARAMERR;
        if (!device->present) return SAR_DEVICE_REMOVED;
        HandleEntry entry;
        entry.kind = HandleKind::device;
        entry.device = name;
        *phDev = call.open_handle(std::move(entry));
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_DisConnectDev(DEVHANDLE hDev)
{
    return run_call("SKF_DisConnectDev",
                    [&](Call& call) -> SKF_ULONG { return call.close_call(hDev, HandleKind::device); });
}

SKF_ULONG DEVAPI SKF_GetDevState(SKF_LPSTR szDevName, SKF_ULONG* pulDevState)
{
    return run_call("SKF_GetDevState", [&](Call& call) -> SKF_ULONG {
        std::string name;
        if (pulDevState == nullptr || !read_text(szDevName, limits::device_name, name)) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults({name, {}, {}})) return rc;
        const Device* device = find_device(call.state(), name);
        *pulDevState = !device ? DEV_UNKNOW_STATE : device->present ? DEV_PRESENT_STATE : DEV_ABSENT_STATE;
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_GetDevInfo(DEVHANDLE hDev, DEVINFO* pDevInfo)
{
    return run_call("SKF_GetDevInfo", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hDev, HandleKind::device, r)) return rc;
        if (pDevInfo == nullptr) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults({r.device->name, {}, {}})) return rc;
        const Fault* hostile = call.hostile();
        fill_devinfo(r.device->info, *pDevInfo, hostile && hostile->kind == FaultKind::unterminated_text);
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_SetLabel(DEVHANDLE hDev, SKF_LPSTR szLabel)
{
    return run_call("SKF_SetLabel", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hDev, HandleKind::device, r)) return rc;
        std::string label;
        if (!read_text(szLabel, limits::label, label) || !valid_utf8(label)) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults({r.device->name, {}, {}})) return rc;
        r.device->info.label = label;
        return call.save();
    });
}

SKF_ULONG DEVAPI SKF_GenRandom(DEVHANDLE hDev, SKF_BYTE* pbRandom, SKF_ULONG ulRandomLen)
{
    return run_call("SKF_GenRandom", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hDev, HandleKind::device, r)) return rc;
        if (pbRandom == nullptr && ulRandomLen > 0) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults({r.device->name, {}, {}})) return rc;
        crypto::random_bytes(pbRandom, ulRandomLen);
        return SAR_OK;
    });
}

}  // extern "C"
