// The registry calls over a read-only view of .reg files. DSC_JNA_REGISTRY
// names one file or a directory whose *.reg files are merged in name order
// (default /etc/dsc_jna/registry.d). The files are read again whenever one of
// them changes, so an installer dropping a file in is seen at the next open.
// One view serves both KEY_WOW64_32KEY and KEY_WOW64_64KEY: the files hold
// the entries as the 32-bit library sees them.
#include <windows.h>

#include "posix_nothrow.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "posix_regfile.h"
#include "tcore_trace.h"

struct HKEY__ {
    std::shared_ptr<const posix_regkey> tree;  // keeps the snapshot alive
    const posix_regkey* key;
};

namespace {

const char* kDefaultRegistry = "/etc/dsc_jna/registry.d";

bool endsWithReg(const std::string& name)
{
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (auto& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return ext == ".reg";
}

std::vector<std::string> registryFiles(const std::string& location)
{
    struct stat st {};
    if (stat(location.c_str(), &st) != 0) return {};
    if (!S_ISDIR(st.st_mode)) return {location};
    std::vector<std::string> files;
    if (DIR* dir = opendir(location.c_str())) {
        while (dirent* e = readdir(dir)) {
            std::string name = e->d_name;
            if (endsWithReg(name)) files.push_back(location + "/" + name);
        }
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// What identifies one state of the files: names, sizes and change times.
std::string signatureOf(const std::vector<std::string>& files)
{
    // Built by hand: every opening of a root key makes one, and a string
    // stream pays for its locale each time.
    std::string sig;
    for (const auto& f : files) {
        struct stat st {};
        if (stat(f.c_str(), &st) != 0) continue;
        sig += f;
        sig += '|';
        sig += std::to_string(st.st_size);
        sig += '|';
        sig += std::to_string(st.st_mtim.tv_sec);
        sig += '.';
        sig += std::to_string(st.st_mtim.tv_nsec);
        sig += '\n';
    }
    return sig;
}

// One reading of the files: the tree and what was refused on the way.
struct Snapshot {
    std::shared_ptr<const posix_regkey> tree;
    std::vector<posix_regrefusal> refusals;
    // The trace sink the refusals went to. The files are often first read
    // before the log is on (its path is a registry value), and a snapshot is
    // used until the files change, so the refusals go to each new sink.
    tcore_traceSink reportedTo = nullptr;
};

Snapshot loadSnapshot(const std::vector<std::string>& files)
{
    Snapshot snapshot;
    auto top = std::make_shared<posix_regkey>();
    for (const auto& f : files) posix_regfile_mergeFile(*top, f.c_str(), snapshot.refusals);
    snapshot.tree = std::move(top);
    return snapshot;
}

std::shared_ptr<const posix_regkey> currentTree()
{
    static std::mutex lock;
    static std::string cachedSignature;
    static Snapshot cached;
    const char* env = std::getenv("DSC_JNA_REGISTRY");
    std::string location = env != nullptr && env[0] != 0 ? env : kDefaultRegistry;
    std::vector<std::string> files = registryFiles(location);
    std::string signature = location + '\n' + signatureOf(files);
    std::vector<posix_regrefusal> unreported;
    std::shared_ptr<const posix_regkey> tree;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!cached.tree || signature != cachedSignature) {
            cached = loadSnapshot(files);
            cachedSignature = signature;
        }
        tcore_traceSink sink = tcore_getTraceSink();
        if (sink != nullptr && sink != cached.reportedTo) {
            unreported = cached.refusals;
            cached.reportedTo = sink;
        }
        tree = cached.tree;
    }
    // Traced outside the lock: the sink writes the log, which may read the
    // registry itself.
    posix_regfile_traceRefusals(unreported);
    return tree;
}

const wchar_t* predefinedName(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE) return L"HKEY_LOCAL_MACHINE";
    if (key == HKEY_CURRENT_USER) return L"HKEY_CURRENT_USER";
    if (key == HKEY_CLASSES_ROOT) return L"HKEY_CLASSES_ROOT";
    if (key == HKEY_USERS) return L"HKEY_USERS";
    return nullptr;
}

const posix_regkey* child(const posix_regkey* key, const std::wstring& name)
{
    auto it = key->subkeys.find(posix_reg_fold(name));
    return it == key->subkeys.end() ? nullptr : it->second.get();
}

// Resolves a handle to its tree and key. A predefined root resolves in the
// current files; an absent root key (no file mentions it) is an empty key.
bool resolve(HKEY handle, std::shared_ptr<const posix_regkey>& tree, const posix_regkey*& key)
{
    static const posix_regkey emptyKey;
    if (handle == nullptr) return false;
    if (const wchar_t* root = predefinedName(handle)) {
        tree = currentTree();
        key = child(tree.get(), root);
        if (key == nullptr) key = &emptyKey;
        return true;
    }
    tree = handle->tree;
    key = handle->key;
    return true;
}

}  // namespace

static LSTATUS RegOpenKeyExWImpl(HKEY root, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    (void)options;
    (void)access;
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<const posix_regkey> tree;
    const posix_regkey* key = nullptr;
    if (!resolve(root, tree, key)) return ERROR_INVALID_HANDLE;
    if (subKey != nullptr) {
        std::wstring path(subKey);
        size_t start = 0;
        while (key != nullptr && start <= path.size()) {
            size_t end = path.find(L'\\', start);
            if (end == std::wstring::npos) end = path.size();
            if (end > start) key = child(key, path.substr(start, end - start));
            start = end + 1;
        }
    }
    if (key == nullptr) return ERROR_FILE_NOT_FOUND;
    *result = new HKEY__{tree, key};
    return ERROR_SUCCESS;
}

static LSTATUS RegQueryValueExWImpl(HKEY handle, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                    LPDWORD dataSize)
{
    (void)reserved;
    if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<const posix_regkey> tree;
    const posix_regkey* key = nullptr;
    if (!resolve(handle, tree, key)) return ERROR_INVALID_HANDLE;
    auto it = key->values.find(posix_reg_fold(valueName != nullptr ? valueName : L""));
    if (it == key->values.end()) return ERROR_FILE_NOT_FOUND;
    const posix_regvalue& value = it->second;
    if (type != nullptr) *type = value.type;
    auto size = static_cast<DWORD>(value.data.size());
    if (data != nullptr) {
        if (*dataSize < size) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, value.data.data(), size);
    }
    if (dataSize != nullptr) *dataSize = size;
    return ERROR_SUCCESS;
}

static LSTATUS RegEnumKeyExWImpl(HKEY handle, DWORD index, LPWSTR name, LPDWORD nameLen, LPDWORD reserved,
                                 LPWSTR className, LPDWORD classLen, PFILETIME lastWriteTime)
{
    (void)reserved;
    (void)className;
    (void)classLen;
    (void)lastWriteTime;
    if (name == nullptr || nameLen == nullptr) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<const posix_regkey> tree;
    const posix_regkey* key = nullptr;
    if (!resolve(handle, tree, key)) return ERROR_INVALID_HANDLE;
    if (index >= key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    auto it = key->subkeys.begin();
    std::advance(it, index);
    const std::wstring& found = it->second->name;
    if (found.size() >= *nameLen) return ERROR_MORE_DATA;
    std::memcpy(name, found.c_str(), (found.size() + 1) * sizeof(wchar_t));
    *nameLen = static_cast<DWORD>(found.size());
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY handle)
{
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    if (predefinedName(handle) == nullptr) delete handle;
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    return posix_noThrow([&] { return RegOpenKeyExWImpl(root, subKey, options, access, result); });
}

LSTATUS RegQueryValueExW(HKEY handle, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize)
{
    return posix_noThrow([&] { return RegQueryValueExWImpl(handle, valueName, reserved, type, data, dataSize); });
}

LSTATUS RegEnumKeyExW(HKEY handle, DWORD index, LPWSTR name, LPDWORD nameLen, LPDWORD reserved, LPWSTR className,
                      LPDWORD classLen, PFILETIME lastWriteTime)
{
    return posix_noThrow(
        [&] { return RegEnumKeyExWImpl(handle, index, name, nameLen, reserved, className, classLen, lastWriteTime); });
}
