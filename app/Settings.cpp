#include "app/Settings.h"

#include <QSettings>

namespace solvane {
namespace {

constexpr const char* kLanguageKey = "language";

}  // namespace

Settings::Settings()
    // The native format here is an INI file named .conf.
    : store_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("solvane"),
                                         QStringLiteral("solvane"))) {}

Settings::Settings(const QString& file) : store_(std::make_unique<QSettings>(file, QSettings::IniFormat)) {}

Settings::~Settings() = default;

Language Settings::MessageLanguage() const {
    Language language = Language::kJapanese;
    ParseLanguage(store_->value(QLatin1String(kLanguageKey)).toString().toStdString(), language);
    return language;
}

void Settings::SetMessageLanguage(Language language) {
    const std::string_view name = LanguageName(language);
    store_->setValue(QLatin1String(kLanguageKey),
                     QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    store_->sync();
}

QString Settings::FileName() const { return store_->fileName(); }

}  // namespace solvane
