// Where the system certificate stores of the Linux stand-in live.
#pragma once

#include <string>

// The directory of all stores: DSC_JNA_STORES, or the user's data folder.
std::string posix_storesDirectory();
