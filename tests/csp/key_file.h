// The test provider's key containers: one text file per container, named by
// its absolute path. Lines of `name=value`:
//   type=sm2
//   d=<hex>   the private key; without it the container holds no key
//   x=<hex>
//   y=<hex>   the public point, 32 bytes each, big-endian
// Blank lines and lines starting with '#' are ignored.
#pragma once

#include <string>

#include "state.h"

enum class KeyFileStatus { ok, missing, malformed };

// Reads the container at `path`. On ok, `hasKey` tells whether a private key
// is there and `key` holds it.
KeyFileStatus readKeyFile(const std::string& path, softskf::KeyPair& key, bool& hasKey);
