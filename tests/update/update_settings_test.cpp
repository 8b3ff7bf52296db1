// The settings values of the update and the server addresses built from them.
#include "support/temp_dir.h"
#include "update/qt_printers.h"
#include "update/update_settings.h"

#include <gtest/gtest.h>

using update::UpdateSettings;

TEST(UpdateSettingsTest, ReadsTheUpdateKeysFromTheSettingsFile)
{
    testing_support::TempDir dir;
    const auto path = dir.write("zarafa-repair/settings.ini",
        "[General]\nExeName=zarafa-repair-setup\nVersion=1.0.0.1\n"
        "update=http://example.invalid/upgrade.html\n"
        "UpdateServer=http://updates.example.invalid/upgrade\n");
    const auto settings = UpdateSettings::load(QString::fromStdString(path.string()));
    EXPECT_EQ(settings.exeName, "zarafa-repair-setup");
    EXPECT_EQ(settings.version, "1.0.0.1");
    EXPECT_EQ(settings.upgradePage, "http://example.invalid/upgrade.html");
    EXPECT_EQ(settings.serverAddress, "http://updates.example.invalid/upgrade");
    EXPECT_FALSE(settings.allowPlainHttp);
    EXPECT_TRUE(settings.plainHttpRefused(settings.versionFileUrl()));

    // Plain http only when the file says so; the signing key never comes from the file.
    const auto loopback = dir.write("loopback.ini",
        "[General]\nUpdateServer=http://127.0.0.1/upgrade\nAllowPlainHttp=true\n"
        "PublicKey=0000000000000000000000000000000000000000000000000000000000000000\n");
    const auto allowed = UpdateSettings::load(QString::fromStdString(loopback.string()));
    EXPECT_TRUE(allowed.allowPlainHttp);
    EXPECT_FALSE(allowed.plainHttpRefused(QUrl("http://127.0.0.1/upgrade")));
    EXPECT_TRUE(allowed.publicKey == update::releaseKey());

    const auto missing
        = UpdateSettings::load(QString::fromStdString((dir.path() / "none.ini").string()));
    EXPECT_TRUE(missing.version.isEmpty());
    EXPECT_TRUE(missing.serverAddress.isEmpty());
}

TEST(UpdateSettingsTest, DefaultPathFollowsXdgConfigHome)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/zr-config-home");
    EXPECT_EQ(UpdateSettings::defaultPath(), "/tmp/zr-config-home/zarafa-repair/settings.ini");
    if (saved.isEmpty()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", saved);
    }
}

TEST(UpdateSettingsTest, BuildsBothServerAddressesUnderTheUpgradeFolder)
{
    UpdateSettings settings;
    settings.exeName = "zr setup";
    settings.serverAddress = "http://127.0.0.1:8080/upgrade";
    EXPECT_EQ(settings.versionFileUrl().toString(QUrl::FullyEncoded),
        "http://127.0.0.1:8080/upgrade/zr%20setup/zr%20setup.txt");
    EXPECT_EQ(settings.programFileUrl().toString(QUrl::FullyEncoded),
        "http://127.0.0.1:8080/upgrade/zr%20setup/zr%20setup");
    settings.serverAddress += '/';
    EXPECT_EQ(settings.programFileUrl().toString(QUrl::FullyEncoded),
        "http://127.0.0.1:8080/upgrade/zr%20setup/zr%20setup");
}

TEST(UpdateSettingsTest, RefusesNamesAndAddressesThatCannotBeUsed)
{
    UpdateSettings settings;
    settings.serverAddress = "http://127.0.0.1/upgrade";
    for (const char *name : { "", ".", "..", "../evil", "a/b", "a\\b" }) {
        settings.exeName = name;
        EXPECT_FALSE(settings.exeNameUsable()) << name;
        EXPECT_FALSE(settings.programFileUrl().isValid()) << name;
    }
    settings.exeName = "setup";
    for (const char *address : { "", "updates", "ftp://127.0.0.1/upgrade", "file:///tmp" }) {
        settings.serverAddress = address;
        EXPECT_FALSE(settings.versionFileUrl().isValid()) << address;
    }
}
