// The current user's certificate stores as the tests need them: emptied,
// then given certificates. On Linux the store directories of the stand-in,
// on Windows the real system stores ("MY", "ZYPORA").
#pragma once

#include <string>

void test_stores_clear();
void test_stores_add(const char* storeName, const std::string& der);
