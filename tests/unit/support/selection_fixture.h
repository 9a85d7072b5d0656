// Selection tests start and end with no selected certificate, empty stores
// and (at the end) an empty registry, whatever the test left behind.
#pragma once

#include "dsc_acx_selected.h"
#include "test_registry.h"
#include "test_stores.h"

template <class Base>
class CleanSelection : public Base {
protected:
    void SetUp() override
    {
        test_stores_clear();
        dsc_acx_releaseSelectedCert();
    }
    void TearDown() override
    {
        dsc_acx_releaseSelectedCert();
        test_stores_clear();
        test_registry_clear();
    }
};
