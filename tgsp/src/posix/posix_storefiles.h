// The certificates of one store file, decoded once while the file stays
// the same.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "posix_cert.h"

using posix_StoreFileCerts = std::vector<std::shared_ptr<const posix_DecodedCert>>;

// Every certificate the file `name` of the open directory `dirFd` (the
// directory `dir`) holds, PEM blocks or the whole file as DER, that
// decodes; none when it cannot be read. A file whose identity, size and
// times are those of an earlier read, and that has not changed since that
// read as far as its times can tell, is not read again.
posix_StoreFileCerts posix_storeFileCerts(int dirFd, const std::string& dir, const std::string& name);
