#pragma once
// The program's one window: two check boxes choosing the reversals, and the
// buttons Load, Play/Stop, Save, Exit (OK) and Help. It never changes the
// loaded song (held by g_loader): Save and Play each work on a private copy.
// Lives from start-up until Exit or Escape; ending it destroys the song.

#include <QDialog>
#include <QIcon>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "messages/MessageLanguage.h"
#include "song/Transformation.h"

class QAbstractButton;
class QAction;
class QActionGroup;
class QCheckBox;
class QContextMenuEvent;
class QDragEnterEvent;
class QDropEvent;
class QMenu;
class QMimeData;
class QPushButton;

namespace solvane {

class ChosenMidiOut;
class HelpViewer;
class MidiF0Data;
class MidiFileLoader;
class PreviewWindow;
class Settings;

// The loaded file and its song; none until a load succeeds.
extern std::unique_ptr<MidiFileLoader> g_loader;
// 1 while a play runs. Written by the window and by the play's worker thread.
extern std::atomic<int> g_playing;
// The Play/Stop button while the window exists; read on the UI thread only.
extern QPushButton* g_playButton;
// The copy Play prepares; it exists only while OnPlay runs.
extern std::unique_ptr<MidiF0Data> g_playCopy;

// The play's end: called on the worker thread when a play ends by itself or
// cannot start. Hands the caption change to the UI thread without waiting
// for it, so a worker never blocks on a busy window. Returns 0.
int OnPlayFinished();

// Control ids of the window's template.
inline constexpr int kIdOk = 1;
inline constexpr int kIdLoad = 1000;
inline constexpr int kIdHorizontal = 1001;
inline constexpr int kIdVertical = 1002;
inline constexpr int kIdSave = 1003;
inline constexpr int kIdPlay = 1004;
inline constexpr int kIdHelp = 1005;

// The about item of the window menu; the low four bits are the platform's.
inline constexpr std::uint32_t kSysCommandAbout = 0x0010;
inline constexpr std::uint32_t kSysCommandClose = 0xF060;

inline constexpr const char* kAboutMenuText = "Vandrel のﾊﾞｰｼﾞｮﾝ情報(&A)...";
inline constexpr const char* kPlayCaption = "再生";
inline constexpr const char* kStopCaption = "停止";
inline constexpr const char* kCannotExitWhilePlaying = "再生中は終了できません!";
inline constexpr const char* kOutputMenuText = "MIDI出力";
inline constexpr const char* kDefaultOutputText = "既定の出力";
inline constexpr const char* kBuiltInOutputText = "内蔵シンセサイザー";
inline constexpr const char* kNoSequencerText = "ALSAシーケンサーがありません (MIDIポートなし)";
inline constexpr const char* kNoPortsText = "MIDIポートがありません";
inline constexpr const char* kSoundFontMenuText = "サウンドフォント...";
inline constexpr const char* kExportMenuText = "オーディオ書き出し...";
inline constexpr const char* kMusicalMenuText = "テンポとペダルを元の部分と共に保つ";
inline constexpr const char* kOutputGone = "MIDI出力「%1」が見つかりません。既定の出力で再生します。";
inline constexpr const char* kOutputGoneShort = "「%1」が見つからないため、既定の出力に戻しました";
inline constexpr const char* kNotASoundFont = "「%1」はサウンドフォント (.sf2, .sf3) ではありません。";
inline constexpr const char* kNoSoundFont =
    "内蔵シンセサイザーのサウンドフォントがありません。fluid-soundfont-gm パッケージを入れるか、サウンドフォントを選んでください。";
inline constexpr const char* kExporting = "オーディオを書き出しています...";
inline constexpr const char* kCancelText = "キャンセル";
inline constexpr const char* kExportFailed = "オーディオを書き出せませんでした: %1";
inline constexpr const char* kHelpFile = "Solvane.chm";
inline constexpr const char* kHelpTopic = "top.htm";

class MainDialog : public QDialog {
    Q_OBJECT

public:
    // helpViewer may be null: Help then does nothing. It must outlive the window.
    explicit MainDialog(HelpViewer* helpViewer, QWidget* parent = nullptr);
    ~MainDialog() override;

    // The control with a template id, or nullptr.
    QAbstractButton* Control(int id) const;
    // The window menu, reached here with the right mouse button or the menu key.
    QMenu* SystemMenu() const { return systemMenu; }

    // Takes the language from settings and keeps the user's later choice
    // there. settings may be null (nothing is kept); it must outlive the window.
    void UseSettings(Settings* settings);
    // Shows the reports, captions and about box in language from now on.
    void SetLanguage(Language language);
    // The output Play opens, told of the user's choice of output and
    // soundfont; may be null (Play then uses the installed output as it is).
    // It must outlive the window.
    void UseOutput(ChosenMidiOut* output);
    // Plays on the output of that name from now on ("default", "built-in"
    // or a port's name, as the command line calls them), and keeps it.
    void SetMidiOutput(const QString& name);
    QString MidiOutputName() const { return outputName; }
    // The soundfont of the built-in synthesizer; empty for the system's.
    void SetSoundFont(const QString& path);
    QString SoundFontPath() const { return soundFont; }
    // Whether the time mirror keeps tempo, pedals and controllers with their
    // passage; kept when settings are in use.
    void SetMusical(bool on);
    bool Musical() const;
    // The output menu as it would open now: the ports listed afresh.
    void RefreshOutputMenu();
    QMenu* OutputMenu() const { return outputMenu; }

    // Loads path as Load does, as if it had been chosen in the open dialog:
    // the file named on the command line and a file dropped on the window.
    void OpenFile(const std::string& path);
    // The file a drop would load: the first local file (not a folder) among
    // the URLs a file manager drags; empty when there is none.
    static QString DroppedFile(const QMimeData* data);

    bool OnInitDialog();
    void OnSysCommand(std::uint32_t id);
    void OnLoad();
    void OnSave();
    void OnPlay();
    void OnHelp();
    void OnExit();
    void OnChooseSoundFont();
    // Renders the piece, reversed as the boxes say, into an audio file the
    // user names, with a progress window that can cancel.
    void OnExportAudio();
    void OnDestroy();

    // The preview window (its menu item and Ctrl+P): shows or closes it, and
    // keeps the choice.
    void SetPreviewShown(bool shown);
    PreviewWindow* Preview() const { return preview; }
    QAction* PreviewAction() const { return previewAction; }

    // OK and Enter end the window through OnExit, which refuses while playing.
    void accept() override;
    void done(int result) override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void CreateLanguageMenu();
    void CreateSoundMenu();
    void CreatePreview();
    void KeepPreviewGeometry();
    void CreateMusicalItem();
    void Retranslate(Language from);
    // A chosen port that has gone away gives way to the default output,
    // reported in a message box when asked; returns the port's name then.
    QString CheckChosenPort(bool report);
    void TellOutput();
    void SetSoundFontText();
    Reversals Ticked() const;
    // The loaded song, reversed as the boxes say, in note form: what Play plays.
    std::unique_ptr<MidiF0Data> PlayableSong() const;
    std::string SoundFontForRender() const;

    QPushButton* playButton = nullptr;
    QCheckBox* verticalCheck = nullptr;
    QCheckBox* horizontalCheck = nullptr;
    QIcon icon;
    QMenu* systemMenu = nullptr;
    QAction* aboutAction = nullptr;
    QActionGroup* languageGroup = nullptr;
    QMenu* outputMenu = nullptr;
    QAction* soundFontAction = nullptr;
    QAction* exportAction = nullptr;
    QAction* previewAction = nullptr;
    PreviewWindow* preview = nullptr;
    QAction* musicalAction = nullptr;
    ChosenMidiOut* output = nullptr;
    QString outputName = QStringLiteral("default");
    QString soundFont;
    HelpViewer* helpViewer = nullptr;
    Settings* settings = nullptr;
    bool destroyed = false;
};

}  // namespace solvane
