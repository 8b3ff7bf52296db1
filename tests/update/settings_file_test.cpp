// The program's one reader of the settings file against QSettings, which wrote the files of
// earlier versions: what QSettings writes the reader reads, and both read a hand-written file
// alike.
#include "common/settings.h"
#include "support/temp_dir.h"

#include <QSettings>
#include <gtest/gtest.h>

namespace {

std::string utf8(const QString &text) { return text.toStdString(); }

} // namespace

TEST(SettingsFileTest, ReadsWhatQSettingsWrote)
{
    testing_support::TempDir dir;
    const QString path = QString::fromStdString((dir.path() / "settings.ini").string());
    const std::vector<std::pair<QString, QString>> values {
        { "Location", "/srv/zarafa workshop" },
        { "SupSec", "https://example.invalid/get, mysql; now" },
        { "Padded", "  blanks around  " },
        { "Quotes", "say \"hi\" \\ back\\slash" },
        { "Lines", "one\ntwo\tthree\r" },
        { "Equals", "a=b" },
        { "Accents", QString::fromUtf8("Zürich – ƒ 😀") },
        { "At", "@not special" },
        { "Empty", "" },
        { "key with space", "spaced" },
        { QString::fromUtf8("Schlüssel"), "umlaut key" },
        { "Group/Inner", "in a group" },
        { "Group/Sub/Deeper", "two levels" },
    };
    {
        QSettings settings(path, QSettings::IniFormat);
        for (const auto &[key, value] : values) {
            settings.setValue(key, value);
        }
        settings.sync();
        ASSERT_EQ(settings.status(), QSettings::NoError);
    }
    const auto read = common::Settings::load(dir.path() / "settings.ini");
    for (const auto &[key, value] : values) {
        EXPECT_EQ(read.value(utf8(key)), utf8(value)) << utf8(key);
    }
    EXPECT_FALSE(read.value("Missing").has_value());
    EXPECT_FALSE(read.value("Inner").has_value()) << "a group's key is not a root key";
}

TEST(SettingsFileTest, HandWrittenFileReadsAsQSettingsReadsIt)
{
    testing_support::TempDir dir;
    const auto file = dir.write("settings.ini",
        "Before=before any section\n"
        "[General]\n"
        "Location = /srv/workshop \n"
        "Comment=value ; a comment after it\n"
        "; a comment line\n"
        "Quoted=\"  kept, blanks; and separators  \"\n"
        "List=a, b\n"
        "Escapes=tab\\there \\x41\\101 \\\"q\\\"\n"
        "Continued=first \\\n"
        "second\n"
        "Percent%20Key=encoded\n"
        "Twice=first\n"
        "Twice=second\n"
        "Marked=@String(@text)\n"
        "[Other%20Group]\n"
        "Location=/not/this\n");
    const QSettings qt(QString::fromStdString(file.string()), QSettings::IniFormat);
    const auto ours = common::Settings::load(file);
    for (const char *key : { "Before", "Location", "Comment", "Quoted", "List", "Escapes",
             "Continued", "Percent Key", "Twice", "Marked", "Other Group/Location" }) {
        ASSERT_TRUE(qt.contains(key)) << key;
        EXPECT_EQ(ours.value(key), utf8(qt.value(key).toString())) << key;
    }
    EXPECT_EQ(ours.value("Location"), "/srv/workshop");
}
