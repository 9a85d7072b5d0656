// The Linux store reads a certificate file again whenever it may have
// changed, though it decodes an unchanged file only once: a file replaced or
// rewritten with a certificate of the same size, within the same second, is
// seen by the very next opening of the store, and so is one rewritten after
// its first version had settled.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "fixtures.h"
#include "scoped_env.h"
#include "temp_dir.h"

namespace {

// The certificates of store "MY", as their DER.
std::vector<std::string> storeDers()
{
    std::vector<std::string> out;
    HCERTSTORE store = CertOpenSystemStoreW(0, L"MY");
    if (store == nullptr) return out;
    PCCERT_CONTEXT cert = nullptr;
    while ((cert = CertEnumCertificatesInStore(store, cert)) != nullptr)
        out.emplace_back(reinterpret_cast<const char*>(cert->pbCertEncoded), cert->cbCertEncoded);
    CertCloseStore(store, 0);
    return out;
}

// The certificate with its last signature byte changed: the same size, and
// a certificate all the same, since nothing checks the signature here.
std::string otherOfSameSize(std::string der)
{
    der.back() = static_cast<char>(der.back() ^ 0x5A);
    return der;
}

// Writes in place: the file keeps its inode.
void overwrite(const std::string& path, const std::string& bytes)
{
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

// Writes a new file and renames it over the old one: a new inode.
void replace(const TempDir& dir, const std::string& name, const std::string& bytes)
{
    dir.write(name + ".new", bytes);
    ASSERT_EQ(std::rename(dir.file(name + ".new").c_str(), dir.file(name).c_str()), 0);
}

void setModified(const std::string& path, const timespec& when)
{
    timespec times[2] = {when, when};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

timespec modifiedOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return st.st_mtim;
}

class StoreFilesTest : public ::testing::Test {
protected:
    void SetUp() override { mkdir(dir.file("MY").c_str(), 0755); }

    // The store's certificates named "first" or "second" by their bytes.
    std::vector<std::string> storeContents() const
    {
        std::vector<std::string> names;
        for (const auto& der : storeDers())
            names.push_back(der == first ? "first" : der == second ? "second" : "other");
        return names;
    }
    using Names = std::vector<std::string>;

    TempDir dir;
    ScopedEnv stores{"DSC_JNA_STORES", dir.path().c_str()};
    const std::string first = fixture("certs/sm2_sign.der");
    const std::string second = otherOfSameSize(first);
    const std::string path = dir.file("MY/a.cer");
};

TEST_F(StoreFilesTest, AChangeWithinTheSameSecondIsSeenByTheNextOpening)
{
    ASSERT_NE(first, second);
    dir.write("MY/a.cer", first);
    ASSERT_EQ(storeContents(), Names{"first"});

    overwrite(path, second);  // same inode, same size
    EXPECT_EQ(storeContents(), Names{"second"});

    replace(dir, "MY/a.cer", first);  // a new inode
    EXPECT_EQ(storeContents(), Names{"first"});

    // A replacement given the old file's times to the nanosecond.
    timespec was = modifiedOf(path);
    replace(dir, "MY/a.cer", second);
    setModified(path, was);
    EXPECT_EQ(storeContents(), Names{"second"});

    ASSERT_EQ(unlink(path.c_str()), 0);
    EXPECT_TRUE(storeContents().empty());
}

// A file read when it had not been touched for a while is later taken as
// unchanged from its identity and times alone; every change must still show.
TEST_F(StoreFilesTest, AChangeToASettledFileIsSeenByTheNextOpening)
{
    dir.write("MY/a.cer", first);
    dir.write("MY/b.cer", first);
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));
    ASSERT_EQ(storeContents(), (Names{"first", "first"}));
    ASSERT_EQ(storeContents(), (Names{"first", "first"}));

    // In place, its modification time then set back to what it was: the
    // change time still moves.
    timespec was = modifiedOf(path);
    overwrite(path, second);
    setModified(path, was);
    EXPECT_EQ(storeContents(), (Names{"second", "first"}));

    replace(dir, "MY/b.cer", second);
    EXPECT_EQ(storeContents(), (Names{"second", "second"}));

    // Made unreadable (not for root): nothing is served from what was read
    // before.
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    if (access(path.c_str(), R_OK) != 0) {
        EXPECT_EQ(storeContents(), Names{"second"});
    }
    chmod(path.c_str(), 0644);
}

// Stores opened on several threads at once, while the files change, each
// see a whole file: the files read are shared under a lock.
TEST_F(StoreFilesTest, StoresOpenedOnSeveralThreadsSeeWholeFiles)
{
    dir.write("MY/a.cer", first);
    std::vector<std::thread> readers;
    std::vector<int> odd(4, 0);
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i)
                for (const auto& name : storeContents())
                    if (name != "first" && name != "second") ++odd[static_cast<size_t>(t)];
        });
    for (int i = 0; i < 50; ++i) replace(dir, "MY/a.cer", i % 2 ? first : second);
    for (auto& r : readers) r.join();
    EXPECT_EQ(odd, std::vector<int>(4, 0));
}

}  // namespace
