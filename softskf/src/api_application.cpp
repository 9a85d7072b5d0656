// Applications: list, open, close, create, delete.
#include "token_limits.h"
#include "output.h"
#include "session.h"

#include <algorithm>

using namespace softskf;

namespace {

SKF_HANDLE open_application(Call& call, SKF_HANDLE device_handle, const std::string& device, const std::string& app)
{
    HandleEntry entry;
    entry.kind = HandleKind::application;
    entry.parent = reinterpret_cast<std::uintptr_t>(device_handle);
    entry.device = device;
    entry.application = app;
    return call.open_handle(std::move(entry));
}

bool retry_count_ok(SKF_DWORD count) { return count >= 1 && count <= limits::retries_max; }

}  // namespace

extern "C" {

SKF_ULONG DEVAPI SKF_EnumApplication(DEVHANDLE hDev, SKF_LPSTR szAppName, SKF_ULONG* pulSize)
{
    return run_call("SKF_EnumApplication", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hDev, HandleKind::device, r)) return rc;
        if (pulSize == nullptr) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults({r.device->name, {}, {}})) return rc;
        std::vector<std::string> names;
        for (const Application& a : r.device->applications) names.push_back(a.name);
        return put_name_list(names, szAppName, pulSize, call.hostile());
    });
}

SKF_ULONG DEVAPI SKF_OpenApplication(DEVHANDLE hDev, SKF_LPSTR szAppName, HAPPLICATION* phApplication)
{
    return run_call("SKF_OpenApplication", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hDev, HandleKind::device, r)) return rc;
        std::string name;
        if (phApplication == nullptr || !read_text(szAppName, limits::application_name, name))
            return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults({r.device->name, name, {}})) return rc;
        if (!find_application(*r.device, name)) return SAR_APPLICATION_NOT_EXISTS;
        *phApplication = open_application(call, hDev, r.device->name, name);
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_CloseApplication(HAPPLICATION hApplication)
{
    return run_call("SKF_CloseApplication", [&](Call& call) -> SKF_ULONG {
        // The security state stays: only ClearSecureState logs out.
        return call.close_call(hApplication, HandleKind::application);
    });
}

SKF_ULONG DEVAPI SKF_CreateApplication(DEVHANDLE hDev, SKF_LPSTR szAppName, SKF_LPSTR szAdminPin,
                                       SKF_DWORD dwAdminPinRetryCount, SKF_LPSTR szUserPin,
                                       SKF_DWORD dwUserPinRetryCount, SKF_DWORD dwCreateFileRights,
                                       HAPPLICATION* phApplication)
{
    return run_call("SKF_CreateApplication", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hDev, HandleKind::device, r)) return rc;
        std::string name, admin, user;
        if (!read_text(szAppName, limits::application_name, name)) return SAR_APPLICATION_NAME_INVALID;
        if (phApplication == nullptr || !retry_count_ok(dwAdminPinRetryCount) || !retry_count_ok(dwUserPinRetryCount))
            return SAR_INVALIDPARAMERR;
        if (!read_text(szAdminPin, limits::pin_max, admin) || admin.size() < limits::pin_min ||
            !read_text(szUserPin, limits::pin_max, user) || user.size() < limits::pin_min)
            return SAR_PIN_LEN_RANGE;
        if (SKF_ULONG rc = call.check_faults({r.device->name, name, {}})) return rc;
        if (find_application(*r.device, name)) return SAR_APPLICATION_EXISTS;
        Application app;
        app.name = name;
        app.admin_pin = {admin, dwAdminPinRetryCount, dwAdminPinRetryCount, true};
        app.user_pin = {user, dwUserPinRetryCount, dwUserPinRetryCount, true};
        app.create_file_rights = dwCreateFileRights;
        r.device->applications.push_back(std::move(app));
        if (SKF_ULONG rc = call.save()) return rc;
        // A recreated application starts without the old one's verified PINs.
        call.log_out(r.device->name, name);
        *phApplication = open_application(call, hDev, r.device->name, name);
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_DeleteApplication(DEVHANDLE hDev, SKF_LPSTR szAppName)
{
    return run_call("SKF_DeleteApplication", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hDev, HandleKind::device, r)) return rc;
        std::string name;
        if (!read_text(szAppName, limits::application_name, name)) return SAR_APPLICATION_NAME_INVALID;
        if (SKF_ULONG rc = call.check_faults({r.device->name, name, {}})) return rc;
        auto& apps = r.device->applications;
        auto it = std::find_if(apps.begin(), apps.end(), [&](const Application& a) { return a.name == name; });
        if (it == apps.end()) return SAR_APPLICATION_NOT_EXISTS;
        apps.erase(it);
        if (SKF_ULONG rc = call.save()) return rc;
        call.close_handles_of(r.device->name, name, {});
        call.log_out(r.device->name, name);
        return SAR_OK;
    });
}

}  // extern "C"
