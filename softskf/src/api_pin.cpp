// PINs and the security state: verify, change, unblock, retry counters.
#include "token_limits.h"
#include "output.h"
#include "session.h"

using namespace softskf;

namespace {

Pin* pin_of(Application& app, SKF_ULONG type)
{
    if (type == ADMIN_TYPE) return &app.admin_pin;
    if (type == USER_TYPE) return &app.user_pin;
    return nullptr;
}

void report_retries(SKF_ULONG* out, SKF_ULONG value)
{
    if (out) *out = value;
}

// Checks a presented PIN against the stored one and keeps the counter:
// a wrong PIN costs one try (written back before answering), the right one
// restores them all. SAR_PIN_LOCKED once no try is left.
SKF_ULONG present_pin(Call& call, Pin& pin, const char* presented, SKF_ULONG* retries)
{
    std::string value;
    if (!read_text(presented, limits::pin_verify_max, value)) return SAR_PIN_LEN_RANGE;
    if (pin.retries_left == 0) {
        report_retries(retries, 0);
        return SAR_PIN_LOCKED;
    }
    if (value != pin.value) {
        --pin.retries_left;
        if (SKF_ULONG rc = call.save()) return rc;
        report_retries(retries, pin.retries_left);
        return SAR_PIN_INCORRECT;
    }
    if (pin.retries_left != pin.max_retries) {
        pin.retries_left = pin.max_retries;
        if (SKF_ULONG rc = call.save()) return rc;
    }
    report_retries(retries, pin.retries_left);
    return SAR_OK;
}

bool new_pin_ok(const char* text, std::string& value)
{
    return read_text(text, limits::pin_max, value) && value.size() >= limits::pin_min;
}

Scope scope_of(const Resolved& r) { return {r.device->name, r.application->name, {}}; }

}  // namespace

extern "C" {

SKF_ULONG DEVAPI SKF_VerifyPIN(HAPPLICATION hApplication, SKF_ULONG ulPINType, SKF_LPSTR szPIN,
                               SKF_ULONG* pulRetryCount)
{
    return run_call("SKF_VerifyPIN", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hApplication, HandleKind::application, r)) return rc;
        Pin* pin = pin_of(*r.application, ulPINType);
        if (!pin) return SAR_USER_TYPE_INVALID;
        if (SKF_ULONG rc = call.check_faults(scope_of(r))) return rc;
        SKF_ULONG rc = present_pin(call, *pin, szPIN, pulRetryCount);
        if (rc == SAR_OK) call.set_logged_in(r.device->name, r.application->name, ulPINType);
        return rc;
    });
}

SKF_ULONG DEVAPI SKF_ChangePIN(HAPPLICATION hApplication, SKF_ULONG ulPINType, SKF_LPSTR szOldPin, SKF_LPSTR szNewPin,
                               SKF_ULONG* pulRetryCount)
{
    return run_call("SKF_ChangePIN", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hApplication, HandleKind::application, r)) return rc;
        Pin* pin = pin_of(*r.application, ulPINType);
        if (!pin) return SAR_USER_TYPE_INVALID;
        std::string new_value;
        if (!new_pin_ok(szNewPin, new_value)) return SAR_PIN_LEN_RANGE;
        if (SKF_ULONG rc = call.check_faults(scope_of(r))) return rc;
        if (SKF_ULONG rc = present_pin(call, *pin, szOldPin, pulRetryCount)) return rc;
        pin->value = new_value;
        pin->is_default = false;
        return call.save();
    });
}

SKF_ULONG DEVAPI SKF_GetPINInfo(HAPPLICATION hApplication, SKF_ULONG ulPINType, SKF_ULONG* pulMaxRetryCount,
                                SKF_ULONG* pulRemainRetryCount, SKF_BOOL* pbDefaultPin)
{
    return run_call("SKF_GetPINInfo", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hApplication, HandleKind::application, r)) return rc;
        Pin* pin = pin_of(*r.application, ulPINType);
        if (!pin) return SAR_USER_TYPE_INVALID;
        if (!pulMaxRetryCount || !pulRemainRetryCount || !pbDefaultPin) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults(scope_of(r))) return rc;
        *pulMaxRetryCount = pin->max_retries;
        *pulRemainRetryCount = pin->retries_left;
        *pbDefaultPin = pin->is_default ? TRUE : FALSE;
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_UnblockPIN(HAPPLICATION hApplication, SKF_LPSTR szAdminPIN, SKF_LPSTR szNewUserPIN,
                                SKF_ULONG* pulRetryCount)
{
    return run_call("SKF_UnblockPIN", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hApplication, HandleKind::application, r)) return rc;
        std::string new_value;
        if (!new_pin_ok(szNewUserPIN, new_value)) return SAR_PIN_LEN_RANGE;
        if (SKF_ULONG rc = call.check_faults(scope_of(r))) return rc;
        if (SKF_ULONG rc = present_pin(call, r.application->admin_pin, szAdminPIN, pulRetryCount)) return rc;
        Pin& user = r.application->user_pin;
        user.value = new_value;
        user.retries_left = user.max_retries;
        user.is_default = false;
        return call.save();
    });
}

SKF_ULONG DEVAPI SKF_ClearSecureState(HAPPLICATION hApplication)
{
    return run_call("SKF_ClearSecureState", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hApplication, HandleKind::application, r)) return rc;
        if (SKF_ULONG rc = call.check_faults(scope_of(r))) return rc;
        call.log_out(r.device->name, r.application->name);
        return SAR_OK;
    });
}

}  // extern "C"
