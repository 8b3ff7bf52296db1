#include "common/settings.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

TEST(SettingsTest, ReadsTheGeneralSectionAsTheWindowWritesIt)
{
    testing_support::TempDir dir;
    const auto file = dir.write("settings.ini",
        "[General]\n"
        "Location = /srv/workshop \n"
        "SupSec=\"https://example.invalid/get, mysql\"\n"
        "; a comment\n"
        "[Other]\n"
        "Location=/not/this\n");
    const auto settings = common::Settings::load(file);
    EXPECT_EQ(settings.value("Location"), "/srv/workshop");
    EXPECT_EQ(settings.value("SupSec"), "https://example.invalid/get, mysql");
    EXPECT_FALSE(settings.value("ServerService").has_value());
    EXPECT_FALSE(common::Settings::load(dir.path() / "missing.ini").value("Location"));
}
