#include "fixtures.h"
#include "test_csp.h"
#include "test_stores.h"

// A file of a store directory, from test_stores_posix.cpp.
void test_stores_addFile(const char* storeName, const std::string& fileName, const std::string& bytes);

const char* const kTestCspName = "dsc_jna key files";

void test_csp_register() {}

void test_stores_addWithKey(const char* storeName, const std::string& der, const std::string& keyFixture,
                            bool withProvInfo)
{
    test_stores_addFile(storeName, keyFixture + ".cer", der);
    if (withProvInfo) test_stores_addFile(storeName, keyFixture + ".key", fixture("tokens/" + keyFixture + ".key"));
}
