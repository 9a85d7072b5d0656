#include "token_session.h"

#include <cstring>

#include "tcore_mem.h"

std::string TokenSession::stateWith(std::initializer_list<std::string> faults) const
{
    return tokenState(
        {tokenDevice("dev", "Label", "SN-1",
                     {tokenApplication("app", "111111",
                                       {tokenContainer("sm2", "sm2_zhang"), tokenContainer("rsa", "rsa_wang")})})},
        faults);
}

TokenSession::TokenSession(const std::string& container, const std::string& pin,
                           std::initializer_list<std::string> faults)
{
    vendor = std::make_unique<TokenVendor>(libraryFileName("session"), stateWith(faults));
    providerId = tutil_skf_load(vendor->path().c_str());
    tcore_list* list = nullptr;
    tutil_skf_findAllCerts(providerId, &list);
    for (int i = 0; list != nullptr && i < list->count; ++i) {
        auto* c = static_cast<tutil_skf_cert*>(list->items[i]);
        if (container == c->containerName) {
            cert = tutil_skf_cert_retain(c);  // survives the list
        }
    }
    tcore_list_free(list);
    if (cert != nullptr) std::strncpy(cert->pin, pin.c_str(), sizeof cert->pin - 1);
}

TokenSession::~TokenSession() { tutil_skf_cert_release(cert); }

void TokenSession::addFault(const std::string& fault) const { vendor->setState(stateWith({fault})); }
