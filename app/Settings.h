#pragma once
// The user's choices that outlive a run, kept with QSettings in
// ~/.config/solvane/solvane.conf (an INI file), or in a file of the
// caller's choosing. The window owns one; the core never reads it: what a
// choice means to the core is handed over as a plain value. A value missing
// or not understood reads as the program's default.

#include <QByteArray>
#include <QString>
#include <memory>

#include "messages/MessageLanguage.h"

class QSettings;

namespace solvane {

class Settings {
public:
    Settings();  // the user's file
    explicit Settings(const QString& file);
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // The language of the reports, captions and about box: Japanese unless chosen.
    Language MessageLanguage() const;
    void SetMessageLanguage(Language language);

    // The MIDI output Play uses, by the name the command line gives it:
    // "default" (also when none was chosen), "built-in", or a port's
    // "client name:port name".
    QString MidiOutput() const;
    void SetMidiOutput(const QString& name);

    // The built-in synthesizer's soundfont file; empty for the system's.
    QString SoundFont() const;
    void SetSoundFont(const QString& path);

    // Whether the preview window was open when last left, where it stood and
    // how large it was, and whether it showed the piece as loaded behind.
    bool PreviewOpen() const;
    void SetPreviewOpen(bool open);
    QByteArray PreviewGeometry() const;
    void SetPreviewGeometry(const QByteArray& geometry);
    bool PreviewGhost() const;
    void SetPreviewGhost(bool shown);
    // Whether the time mirror keeps tempo, pedals and controllers with
    // their passage; off unless chosen.
    bool Musical() const;
    void SetMusical(bool on);

    QString FileName() const;

private:
    std::unique_ptr<QSettings> store_;
};

}  // namespace solvane
