#include "app/Settings.h"

#include <QSettings>

namespace solvane {
namespace {

constexpr const char* kLanguageKey = "language";
constexpr const char* kMidiOutputKey = "midiOutput";
constexpr const char* kSoundFontKey = "soundFont";
constexpr const char* kPreviewOpenKey = "preview/open";
constexpr const char* kPreviewGeometryKey = "preview/geometry";
constexpr const char* kPreviewGhostKey = "preview/ghost";
constexpr const char* kMusicalKey = "keepPassages";

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

QString Settings::MidiOutput() const {
    const QString name = store_->value(QLatin1String(kMidiOutputKey)).toString();
    return name.isEmpty() ? QStringLiteral("default") : name;
}

void Settings::SetMidiOutput(const QString& name) {
    store_->setValue(QLatin1String(kMidiOutputKey), name);
    store_->sync();
}

QString Settings::SoundFont() const { return store_->value(QLatin1String(kSoundFontKey)).toString(); }

void Settings::SetSoundFont(const QString& path) {
    store_->setValue(QLatin1String(kSoundFontKey), path);
    store_->sync();
}

bool Settings::PreviewOpen() const { return store_->value(QLatin1String(kPreviewOpenKey), false).toBool(); }

void Settings::SetPreviewOpen(bool open) {
    store_->setValue(QLatin1String(kPreviewOpenKey), open);
    store_->sync();
}

QByteArray Settings::PreviewGeometry() const { return store_->value(QLatin1String(kPreviewGeometryKey)).toByteArray(); }

void Settings::SetPreviewGeometry(const QByteArray& geometry) {
    store_->setValue(QLatin1String(kPreviewGeometryKey), geometry);
    store_->sync();
}

bool Settings::PreviewGhost() const { return store_->value(QLatin1String(kPreviewGhostKey), false).toBool(); }

void Settings::SetPreviewGhost(bool shown) {
    store_->setValue(QLatin1String(kPreviewGhostKey), shown);
    store_->sync();
}

bool Settings::Musical() const {
    // Only what SetMusical writes turns it on: anything else is the default.
    const QString value = store_->value(QLatin1String(kMusicalKey)).toString();
    return value == QLatin1String("true");
}

void Settings::SetMusical(bool on) {
    store_->setValue(QLatin1String(kMusicalKey), on);
    store_->sync();
}

QString Settings::FileName() const { return store_->fileName(); }

}  // namespace solvane
