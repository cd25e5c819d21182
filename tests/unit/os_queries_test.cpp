#include "services/os_queries.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "runtime_fixture.hpp"

namespace {

using qor::os::WindowsVersion;

TEST(OsQueries, WindowsNamesByVersionProductAndBuild) {
    struct Case {
        uint32_t major, minor, build;
        bool server;
        const char* service_pack;
        const char* name;
    };
    const Case cases[] = {
        {5, 0, 2195, false, "", "Windows 2000"},
        {5, 1, 2600, false, "Service Pack 3", "Windows XP Service Pack 3"},
        {5, 2, 3790, false, "", "Windows Server 2003"},
        {5, 2, 3790, true, "", "Windows Server 2003 R2"},
        {6, 0, 6002, false, "Service Pack 2", "Windows Vista Service Pack 2"},
        {6, 0, 6002, true, "", "Windows Server 2008"},
        {6, 1, 7601, false, "Service Pack 1", "Windows 7 Service Pack 1"},
        {6, 1, 7601, true, "", "Windows Server 2008 R1"},
        {6, 2, 9200, false, "", "Windows 8"},
        {6, 2, 9200, true, "", "Windows Server 2012"},
        {6, 3, 9600, false, "", "Windows 8.1"},
        {6, 3, 9600, true, "", "Windows Server 2012 R2"},
        {6, 4, 9841, false, "", "Windows NT 6.4"},
        {10, 0, 19045, false, "", "Windows 10"},
        {10, 0, 21999, false, "", "Windows 10"},
        {10, 0, 22000, false, "", "Windows 11"},
        {10, 0, 22631, false, "", "Windows 11"},
        {10, 0, 14393, true, "", "Windows Server 2016"},
        {10, 0, 17133, true, "", "Windows Server 2016"},
        {10, 0, 17134, true, "", "Windows Server 2019"},
        {10, 0, 20284, true, "", "Windows Server 2019"},
        {10, 0, 20285, true, "", "Windows Server 2022"},
    };
    for (const Case& c : cases) {
        WindowsVersion v;
        v.major = c.major;
        v.minor = c.minor;
        v.build = c.build;
        v.server = c.server;
        v.service_pack = c.service_pack;
        EXPECT_EQ(qor::os::windows_name(v), c.name) << c.major << "." << c.minor << " build " << c.build;
    }
}

TEST(OsQueries, ArchitectureWords) {
    EXPECT_STREQ(qor::os::windows_arch(0), "x86-32");
    EXPECT_STREQ(qor::os::windows_arch(5), "ARM");
    EXPECT_STREQ(qor::os::windows_arch(6), "IA-64");
    EXPECT_STREQ(qor::os::windows_arch(9), "x86-64");
    EXPECT_STREQ(qor::os::windows_arch(12), "ARM64");
    EXPECT_STREQ(qor::os::windows_arch(0xFFFF), "Unknown");
}

TEST(OsQueries, AssertDatatypeRaisesInvalidArgWithTheValue) {
    qor::Cell seven = qor::test::integer_cell(7);
    qor::os::assert_datatype(&seven, qor::TYPE_INTEGER);   // returns
    qor::RaisedError e = qor::test::raised_by([&] { qor::os::assert_datatype(&seven, qor::TYPE_IMAGE); });
    EXPECT_EQ(e.category, "script");
    EXPECT_EQ(e.id, "invalid-arg");
    EXPECT_EQ(e.args[0].value.header, seven.header);
    EXPECT_EQ(e.args[0].value.data2, 7u);
}

// The platform's own facts: a name and a known architecture word.
TEST(OsQueries, ThisSystemAnswers) {
    qor::os::OsFacts facts = qor::os::query();
    EXPECT_FALSE(facts.name.empty());
    const std::string words[] = {"x86-32", "x86-64", "ARM", "ARM64", "IA-64", "Unknown"};
    EXPECT_NE(std::find(std::begin(words), std::end(words), facts.arch), std::end(words)) << facts.arch;
#ifdef _WIN32
    EXPECT_EQ(facts.name.rfind("Windows ", 0), 0u) << facts.name;
    EXPECT_GE(facts.version[0], 5);
#endif
}

}  // namespace
