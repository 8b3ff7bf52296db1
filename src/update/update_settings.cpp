#include "update/update_settings.h"

#include "common/settings.h"

namespace update {

namespace {

// Each value is read as a text of at most this many characters, like every other settings value.
constexpr qsizetype kValueLength = 260;

QString readValue(const common::Settings &settings, const char *key)
{
    return QString::fromStdString(settings.value(key).value_or(std::string()))
        .trimmed()
        .left(kValueLength);
}

QUrl packageUrl(const UpdateSettings &settings, const QString &fileName)
{
    if (!settings.exeNameUsable()) {
        return {};
    }
    QString base = settings.serverAddress;
    if (!base.endsWith(QLatin1Char('/'))) {
        base += QLatin1Char('/');
    }
    const QString name = QString::fromLatin1(QUrl::toPercentEncoding(settings.exeName));
    const QUrl url(
        base + name + QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(fileName)),
        QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        return {};
    }
    return url;
}

} // namespace

QString UpdateSettings::defaultPath()
{
    return QString::fromStdString(common::Settings::defaultPath().string());
}

UpdateSettings UpdateSettings::load(const QString &path)
{
    const auto file = common::Settings::load(path.toStdString());
    UpdateSettings settings;
    settings.exeName = readValue(file, "ExeName");
    settings.version = readValue(file, "Version");
    settings.upgradePage = readValue(file, "update");
    settings.serverAddress = readValue(file, "UpdateServer");
    settings.allowPlainHttp
        = readValue(file, "AllowPlainHttp").compare(QLatin1String("true"), Qt::CaseInsensitive)
        == 0;
    return settings;
}

bool UpdateSettings::exeNameUsable() const
{
    return !exeName.isEmpty() && exeName != QLatin1String(".") && exeName != QLatin1String("..")
        && !exeName.contains(QLatin1Char('/')) && !exeName.contains(QLatin1Char('\\'))
        && !exeName.contains(QChar(0));
}

QUrl UpdateSettings::versionFileUrl() const
{
    return packageUrl(*this, exeName + QLatin1String(".txt"));
}

QUrl UpdateSettings::programFileUrl() const { return packageUrl(*this, exeName); }

QUrl UpdateSettings::signatureFileUrl() const
{
    return packageUrl(*this, exeName + QLatin1String(".sig"));
}

bool UpdateSettings::plainHttpRefused(const QUrl &url) const
{
    return !allowPlainHttp && url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0;
}

} // namespace update
