#include "services/os_environment.hpp"

#include <gtest/gtest.h>

namespace {

TEST(OsEnvironment, SplitsAtTheFirstSeparatorAfterTheFirstCharacter) {
    struct Case {
        const char16_t* entry;
        const char16_t* name;
        const char16_t* value;
    };
    const Case cases[] = {
        {u"PATH=/bin", u"PATH", u"/bin"},
        {u"X=a=b=c", u"X", u"a=b=c"},        // the value keeps later separators
        {u"=C:=C:\\dir", u"=C:", u"C:\\dir"},  // per-drive entries keep their '='
        {u"EMPTY=", u"EMPTY", u""},
        {u"NOVALUE", u"NOVALUE", u""},
        {u"=", u"=", u""},
    };
    for (const Case& c : cases) {
        qor::os::EnvironmentEntry e = qor::os::split_entry(c.entry);
        EXPECT_EQ(std::u16string(e.name), std::u16string(c.name));
        EXPECT_EQ(std::u16string(e.value), std::u16string(c.value));
    }
}

}  // namespace
