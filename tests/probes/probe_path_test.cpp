// The probe commands' PATH keeps only absolute elements.
#include "probes/probe_path.h"

#include <gtest/gtest.h>

TEST(ProbePath, DropsEmptyAndRelativeElements)
{
    struct row {
        const char* path;
        const char* kept;
    };
    const char* fallback = "/usr/bin:/bin:/usr/sbin:/sbin";
    const row rows[] = {
        {"/usr/local/bin:/usr/bin:/bin", "/usr/local/bin:/usr/bin:/bin"},
        {":/usr/bin", "/usr/bin"},
        {"/usr/bin:", "/usr/bin"},
        {"/usr/bin::/bin", "/usr/bin:/bin"},
        {".:/usr/bin:bin:./x:../y:/sbin", "/usr/bin:/sbin"},
        {"/a/./b:/c/../d", "/a/./b:/c/../d"},
        {"", fallback},
        {":", fallback},
        {".", fallback},
        {"bin:sbin", fallback},
        {nullptr, fallback},
    };
    for (const auto& r : rows)
        EXPECT_EQ(dorv::probe_path(r.path), r.kept) << (r.path ? r.path : "(absent)");
}
