// The file service where only a POSIX system can set the stage: files that
// report no size, and writes that fail half-way.
#include "tests/unit/natives_fixture.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

using namespace qor;
using namespace qor::test;

class FilesPosixTest : public NativesFixture {
protected:
    std::string dir;
    void SetUp() override {
        NativesFixture::SetUp();
        char pattern[] = "/tmp/qor-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir + "'";
        if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir;
        NativesFixture::TearDown();
    }
    static std::string contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

// /proc files report size 0 but hold text: they are read to their end.
TEST_F(FilesPosixTest, FilesOfUnknownSizeAreReadInChunks) {
    EXPECT_NE(run_mold("length? read/binary %/proc/self/cmdline"), "0");
    EXPECT_EQ(run_mold("read/part %/proc/self/status 5"), "\"Name:\"");
    // A pipe's content is longer than one chunk of 65536 bytes.
    std::string fifo = dir + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string writer = "(head -c 200000 /dev/zero | tr '\\0' x > '" + fifo + "') &";
    ASSERT_EQ(std::system(writer.c_str()), 0);
    EXPECT_EQ(run_mold("length? read/binary %" + fifo), "200000");
}

// A write that fails leaves the old content whole, and no temporary behind.
TEST_F(FilesPosixTest, AFailedWriteKeepsTheOldContent) {
    std::string path = dir + "/keep.txt";
    std::ofstream(path) << "old content";
    struct rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_limit;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string result = run_mold("write %" + path + " append/dup copy \"\" #\"n\" 10000");
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(result, "error access/cannot-open");
    EXPECT_EQ(contents(path), "old content");
    EXPECT_EQ(run_mold("read %" + dir + "/"), "[%keep.txt]");
    // The same write without the limit goes through.
    run("write %" + path + " append/dup copy \"\" #\"n\" 10000");
    EXPECT_EQ(contents(path).size(), 10000u);
}

// Replacing a file keeps its permissions; a link leads to the file it names.
TEST_F(FilesPosixTest, ReplacingKeepsModeAndLinks) {
    std::string path = dir + "/mode.txt", link = dir + "/link.txt";
    std::ofstream(path) << "x";
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    run("write %" + link + " \"through the link\"");
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(contents(path), "through the link");
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
