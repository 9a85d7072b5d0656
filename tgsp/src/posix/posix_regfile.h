// The text format that installers and `regedit /e` write (.reg files), read
// into a tree of keys and values. Only reading: the Linux registry stand-in is
// a read-only view over these files.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

struct posix_regvalue {
    std::wstring name;  // as written; "" is the key's default value (@)
    DWORD type = REG_NONE;
    // What RegQueryValueExW hands out: string types as wchar_t units with
    // their terminator, every other type as its raw bytes.
    std::vector<BYTE> data;
};

// Deepest key below a root key, and largest value, that Windows accepts.
// Keys deeper and values larger are refused (traced) when a file is read.
#define POSIX_REG_MAX_DEPTH 512
#define POSIX_REG_MAX_VALUE (1024 * 1024)

struct posix_regkey {
    posix_regkey() = default;
    posix_regkey(const posix_regkey&) = delete;
    posix_regkey& operator=(const posix_regkey&) = delete;
    // Releases the subtree level by level: a tree of any depth is freed
    // without a call per level.
    ~posix_regkey();

    std::wstring name;  // as first written
    // Both maps are keyed by the case-folded name, so lookups ignore case
    // and subkeys enumerate in Windows' case-insensitive order.
    std::map<std::wstring, posix_regvalue> values;
    std::map<std::wstring, std::unique_ptr<posix_regkey>> subkeys;
};

// What reading a file refused (an over-deep key, an over-long value): the
// trace line and the line of the check. Kept with the tree read, so that a
// log opened after the files were read still learns of it.
struct posix_regrefusal {
    int line;
    std::string text;
};

// Upper-case folding of the ASCII letters, as key and value names compare.
std::wstring posix_reg_fold(const std::wstring& name);

// Merges one file's content into `top`, whose subkeys are the root keys
// ("HKEY_LOCAL_MACHINE", ...). A file without a known header is ignored
// (result false); a malformed line is skipped without affecting the rest.
// The text is read a piece at a time: a line longer than any value within
// the limit is refused as it is read, without being kept or decoded whole,
// so memory stays bounded however large the file is.
bool posix_regfile_merge(posix_regkey& top, const std::string& fileBytes, std::vector<posix_regrefusal>& refusals);
// The same for the file at `path`, read in pieces (false also when it
// cannot be opened).
bool posix_regfile_mergeFile(posix_regkey& top, const char* path, std::vector<posix_regrefusal>& refusals);

// Hands every refusal to the error trace.
void posix_regfile_traceRefusals(const std::vector<posix_regrefusal>& refusals);
