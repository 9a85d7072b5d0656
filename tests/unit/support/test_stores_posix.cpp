#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "temp_dir.h"
#include "test_stores.h"

namespace {
std::unique_ptr<TempDir> storesDir;
int serial = 0;
}  // namespace

void test_stores_clear()
{
    storesDir = std::make_unique<TempDir>();
    setenv("DSC_JNA_STORES", storesDir->path().c_str(), 1);
}

void test_stores_addFile(const char* storeName, const std::string& fileName, const std::string& bytes)
{
    if (!storesDir) test_stores_clear();
    mkdir(storesDir->file(storeName).c_str(), 0755);
    storesDir->write(std::string(storeName) + "/" + fileName, bytes);
}

void test_stores_add(const char* storeName, const std::string& der)
{
    test_stores_addFile(storeName, "cert" + std::to_string(++serial) + ".cer", der);
}
