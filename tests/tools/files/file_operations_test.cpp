#include "tools/files/file_operations.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pictorand {
namespace {

using testing::fileExists;
using testing::readFile;
using testing::ScratchDir;
using testing::writeFile;

std::vector<uint8_t> bytes(size_t size, uint8_t seed)
{
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<uint8_t>(seed + i * 7);
    return data;
}

int entriesIn(const std::string& directory)
{
    int count = 0;
    if (DIR* d = opendir(directory.c_str())) {
        while (dirent* entry = readdir(d))
            count += std::string(entry->d_name) != "." && std::string(entry->d_name) != "..";
        closedir(d);
    }
    return count;
}

// A scratch folder on another file system than the temp folder, when there
// is one (tmpfs /dev/shm on most machines).
class OtherFileSystemDir {
public:
    OtherFileSystemDir()
    {
        char name[] = "/dev/shm/pictorand-test-XXXXXX";
        if (mkdtemp(name))
            m_path = name;
    }
    ~OtherFileSystemDir()
    {
        if (!m_path.empty())
            testing::runCommand("rm -rf " + testing::shellQuote(m_path));
    }
    bool differsFrom(const std::string& other) const
    {
        struct stat a {};
        struct stat b {};
        return !m_path.empty() && stat(m_path.c_str(), &a) == 0 && stat(other.c_str(), &b) == 0 && a.st_dev != b.st_dev;
    }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Writes above `limit` bytes fail with EFBIG, as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = m_old;
        lowered.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};

TEST(FileOperations, CopyOntoItselfIsRefusedHoweverSpelt)
{
    ScratchDir dir;
    const auto data = bytes(5000, 1);
    writeFile(dir.file("a.jpg"), data);
    ASSERT_EQ(link(dir.file("a.jpg").c_str(), dir.file("hard.jpg").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("a.jpg").c_str(), dir.file("soft.jpg").c_str()), 0);
    for (const std::string& other : {dir.file("a.jpg"), dir.path() + "/./a.jpg", dir.file("hard.jpg"),
                                     dir.file("soft.jpg")}) {
        EXPECT_EQ(copyFileSafely(dir.file("a.jpg"), other), TransferStatus::SameFile) << other;
        EXPECT_EQ(moveFileSafely(dir.file("a.jpg"), other), TransferStatus::SameFile) << other;
        EXPECT_EQ(readFile(dir.file("a.jpg")), data);
    }
}

TEST(FileOperations, CopyReplacesAReadOnlyDestinationAndKeepsTheMode)
{
    ScratchDir dir;
    const auto data = bytes(300000, 2);
    writeFile(dir.file("a.png"), data);
    chmod(dir.file("a.png").c_str(), 0640);
    writeFile(dir.file("b.png"), bytes(10, 3));
    chmod(dir.file("b.png").c_str(), 0444);
    ASSERT_EQ(copyFileSafely(dir.file("a.png"), dir.file("b.png")), TransferStatus::Done);
    EXPECT_EQ(readFile(dir.file("b.png")), data);
    struct stat info {};
    stat(dir.file("b.png").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(entriesIn(dir.path()), 2); // no temporary left
}

TEST(FileOperations, AFullDiskLeavesSourceAndDestinationAsTheyWere)
{
    ScratchDir dir;
    OtherFileSystemDir other;
    const auto data = bytes(64 * 1024, 4);
    const auto old = bytes(100, 5);
    writeFile(dir.file("src.bmp"), data);
    mkdir(dir.file("out").c_str(), 0755);
    writeFile(dir.file("out/dst.bmp"), old);
    {
        FileSizeLimit limit(16 * 1024);
        EXPECT_EQ(copyFileSafely(dir.file("src.bmp"), dir.file("out/dst.bmp")), TransferStatus::CopyFailed);
    }
    EXPECT_EQ(readFile(dir.file("src.bmp")), data);
    EXPECT_EQ(readFile(dir.file("out/dst.bmp")), old);
    EXPECT_EQ(entriesIn(dir.file("out")), 1);

    if (!other.differsFrom(dir.path()))
        GTEST_SKIP() << "no second file system to move across";
    writeFile(other.file("src.bmp"), data);
    {
        FileSizeLimit limit(16 * 1024);
        EXPECT_EQ(moveFileSafely(other.file("src.bmp"), dir.file("moved.bmp")), TransferStatus::CopyFailed);
    }
    EXPECT_EQ(readFile(other.file("src.bmp")), data);
    EXPECT_FALSE(fileExists(dir.file("moved.bmp")));
}

TEST(FileOperations, MoveAcrossFileSystemsDeletesTheSourceOnlyAfterACompleteCopy)
{
    ScratchDir dir;
    OtherFileSystemDir other;
    if (!other.differsFrom(dir.path()))
        GTEST_SKIP() << "no second file system to move across";
    const auto data = bytes(200000, 6);
    writeFile(other.file("a.gif"), data);
    EXPECT_EQ(moveFileSafely(other.file("a.gif"), dir.file("a.gif")), TransferStatus::Done);
    EXPECT_EQ(readFile(dir.file("a.gif")), data);
    EXPECT_FALSE(fileExists(other.file("a.gif")));
}

TEST(FileOperations, DeleteGoesToTheHomeTrashWithItsInfoFile)
{
    ScratchDir dir;
    const char* oldDataHome = std::getenv("XDG_DATA_HOME");
    const std::string saved = oldDataHome ? oldDataHome : "";
    setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
    const auto data = bytes(1000, 7);
    const std::string path = dir.file("my pic%.jpg");
    writeFile(path, data);
    TrashOutcome first = moveToTrash(path);
    writeFile(path, data);
    TrashOutcome second = moveToTrash(path);
    if (oldDataHome)
        setenv("XDG_DATA_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");

    ASSERT_EQ(first.status, TrashStatus::Trashed);
    ASSERT_EQ(second.status, TrashStatus::Trashed);
    EXPECT_FALSE(fileExists(path));
    EXPECT_EQ(first.trashedPath, dir.file("data/Trash/files/my pic%.jpg"));
    EXPECT_EQ(second.trashedPath, dir.file("data/Trash/files/my pic%.2.jpg"));
    EXPECT_EQ(readFile(first.trashedPath), data);
    const auto info = readFile(first.infoPath);
    const std::string text(info.begin(), info.end());
    EXPECT_EQ(text.rfind("[Trash Info]\nPath=" + trashInfoEscape(path) + "\nDeletionDate=", 0), 0u) << text;
    EXPECT_NE(trashInfoEscape(path).find("my%20pic%25.jpg"), std::string::npos);
}

TEST(FileOperations, DeleteOnAnotherFileSystemUsesItsTopDirectoryTrash)
{
    ScratchDir dir;
    OtherFileSystemDir other;
    if (!other.differsFrom(dir.path()))
        GTEST_SKIP() << "no second file system";
    writeFile(other.file("a.png"), bytes(10, 8));
    TrashOutcome outcome = moveToTrash(other.file("a.png"));
    ASSERT_EQ(outcome.status, TrashStatus::Trashed);
    EXPECT_FALSE(fileExists(other.file("a.png")));
    EXPECT_TRUE(fileExists(outcome.trashedPath));
    // Relative to the top directory, as the layout wants for these trashes.
    const auto info = readFile(outcome.infoPath);
    EXPECT_NE(std::string(info.begin(), info.end()).find("\nPath=pictorand-test-"), std::string::npos);
    unlink(outcome.trashedPath.c_str());
    unlink(outcome.infoPath.c_str());
}

} // namespace
} // namespace pictorand
