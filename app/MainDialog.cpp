#include "app/MainDialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMimeData>
#include <QEventLoop>
#include <QFileInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <thread>

#include "app/AboutDialog.h"
#include "app/AppResources.h"
#include "app/AppTexts.h"
#include "app/DialogFont.h"
#include "app/DialogUnits.h"
#include "app/PreviewWindow.h"
#include "app/Settings.h"
#include "platform/FileChooser.h"
#include "platform/AudioRender.h"
#include "platform/FluidSynthEngine.h"
#include "platform/FluidSynthOut.h"
#include "platform/HelpViewer.h"
#include "platform/MessageSink.h"
#include "platform/MidiOutFactory.h"
#include "platform/SequencerPorts.h"
#include "playback/MusicPlayer.h"
#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
#include "song/Transformation.h"

namespace solvane {

std::unique_ptr<MidiFileLoader> g_loader;
std::atomic<int> g_playing{0};
QPushButton* g_playButton = nullptr;
std::unique_ptr<MidiF0Data> g_playCopy;

namespace {

enum class Kind { kCheckBox, kPushButton, kDefaultButton };

struct ControlTemplate {
    int id;
    Kind kind;
    const char* caption;  // as in the template; replaced at start
    int x;
    int y;
    int width;
    int height;
};

// Template order is tab order.
constexpr ControlTemplate kControls[] = {
    {kIdHorizontal, Kind::kCheckBox, "水平反転", 5, 10, 110, 25},
    {kIdVertical, Kind::kCheckBox, "垂直反転", 5, 50, 110, 25},
    {kIdLoad, Kind::kPushButton, "読み込み", 10, 95, 60, 25},
    {kIdPlay, Kind::kPushButton, "再生", 80, 95, 65, 25},
    {kIdSave, Kind::kPushButton, "保存", 170, 95, 60, 25},
    {kIdOk, Kind::kDefaultButton, "終了", 60, 140, 55, 20},
    {kIdHelp, Kind::kPushButton, "ヘルプ", 125, 140, 50, 20},
};

struct StartCaption {
    int id;
    const char* text;
};

constexpr StartCaption kStartCaptions[] = {
    {kIdHorizontal, "Horizontal Reverse"}, {kIdVertical, "Vertical Reverse"}, {kIdLoad, "Load"},
    {kIdPlay, "Play"}, {kIdSave, "Save"}, {kIdOk, "OK"}, {kIdHelp, "Help"},
};

constexpr int kDialogWidth = 239;
constexpr int kDialogHeight = 165;
constexpr const char* kCaption = "Solvane";
constexpr const char* kModule = "MainDialog";

QString ControlName(int id) { return QStringLiteral("control%1").arg(id); }

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string ToLocal(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A report of the window's own whose text carries a value.
void ReportWithValue(const char* japanese, const QString& value) {
    const std::string text = UiText(japanese).arg(value).toStdString();
    CurrentMessageSink().Show(kModule, 0, text);
}

// Answers the next open question with a file already chosen, so that such a
// file goes through Load itself; every other question goes to the chooser it
// stands in for while it is installed.
class ChosenFile : public FileChooser {
public:
    explicit ChosenFile(std::string path) : path_(std::move(path)), previous_(CurrentFileChooser()) {
        InstallFileChooser(this);
    }
    ~ChosenFile() override { InstallFileChooser(previous_); }
    ChosenFile(const ChosenFile&) = delete;
    ChosenFile& operator=(const ChosenFile&) = delete;

    bool AskOpen(std::string_view defaultExtension, std::string_view filter, std::string& path) override {
        if (!answered_) {
            answered_ = true;
            path = path_;
            return true;
        }
        return previous_ != nullptr && previous_->AskOpen(defaultExtension, filter, path);
    }
    bool AskSave(std::string_view defaultExtension, std::string_view filter, std::string& path) override {
        return previous_ != nullptr && previous_->AskSave(defaultExtension, filter, path);
    }

private:
    std::string path_;
    FileChooser* previous_;
    bool answered_ = false;
};

}  // namespace

int OnPlayFinished() {
    g_playing.store(0);
    // Queued on the application object, which outlives the window; the button
    // is looked up again on the UI thread, where the window is destroyed. A
    // play started in the meantime keeps its "停止".
    if (QCoreApplication* app = QCoreApplication::instance(); app != nullptr) {
        QMetaObject::invokeMethod(
            app,
            [] {
                if (g_playButton != nullptr && g_playing.load() == 0) {
                    g_playButton->setText(UiText(kPlayCaption));
                }
            },
            Qt::QueuedConnection);
    }
    return 0;
}

MainDialog::MainDialog(HelpViewer* viewer, QWidget* parent)
    : QDialog(parent), icon(ApplicationIcon()), helpViewer(viewer) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QString::fromUtf8(kCaption));
    setFont(DialogFont());
    CreateControls();
    OnInitDialog();
    // Files dragged from a file manager load as Load loads them.
    setAcceptDrops(true);
}

MainDialog::~MainDialog() {
    if (!destroyed) OnDestroy();
    if (g_playButton == playButton) g_playButton = nullptr;
}

void MainDialog::CreateControls() {
    const DialogUnits units(font());
    setFixedSize(units.MapSize(kDialogWidth, kDialogHeight));
    QWidget* previous = nullptr;
    for (const ControlTemplate& item : kControls) {
        QAbstractButton* control = nullptr;
        if (item.kind == Kind::kCheckBox) {
            control = new QCheckBox(QString::fromUtf8(item.caption), this);
        } else {
            auto* button = new QPushButton(QString::fromUtf8(item.caption), this);
            button->setAutoDefault(true);
            button->setDefault(item.kind == Kind::kDefaultButton);
            control = button;
        }
        control->setObjectName(ControlName(item.id));
        control->setProperty("controlId", item.id);
        control->setFocusPolicy(Qt::StrongFocus);
        control->setGeometry(units.MapRect(item.x, item.y, item.width, item.height));
        if (previous != nullptr) setTabOrder(previous, control);
        previous = control;
    }
    // The template's controls bound to the dialog's fields.
    playButton = qobject_cast<QPushButton*>(Control(kIdPlay));
    verticalCheck = qobject_cast<QCheckBox*>(Control(kIdVertical));
    horizontalCheck = qobject_cast<QCheckBox*>(Control(kIdHorizontal));

    connect(Control(kIdLoad), &QAbstractButton::clicked, this, &MainDialog::OnLoad);
    connect(Control(kIdSave), &QAbstractButton::clicked, this, &MainDialog::OnSave);
    connect(playButton, &QAbstractButton::clicked, this, &MainDialog::OnPlay);
    connect(Control(kIdHelp), &QAbstractButton::clicked, this, &MainDialog::OnHelp);
    connect(Control(kIdOk), &QAbstractButton::clicked, this, &MainDialog::OnExit);
}

QAbstractButton* MainDialog::Control(int id) const {
    return findChild<QAbstractButton*>(ControlName(id), Qt::FindDirectChildrenOnly);
}

bool MainDialog::OnInitDialog() {
    // The template's Japanese captions are never seen.
    for (const StartCaption& caption : kStartCaptions) Control(caption.id)->setText(QString::fromUtf8(caption.text));

    // Window managers here keep their window menus to themselves, so the
    // about item lives in the dialog's own menu and goes the same way.
    systemMenu = new QMenu(this);
    CreateMusicalItem();
    CreatePreview();
    systemMenu->addSeparator();
    QAction* about = systemMenu->addAction(UiText(kAboutMenuText));
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(kSysCommandAbout); }, Qt::QueuedConnection);
    aboutAction = about;
    CreateSoundMenu();
    CreateLanguageMenu();

    setWindowIcon(icon);
    g_playButton = playButton;
    horizontalCheck->setFocus();
    return true;
}

void MainDialog::OnSysCommand(std::uint32_t id) {
    switch (id & 0xFFF0u) {
        case kSysCommandAbout: {
            AboutDialog about(this);
            about.exec();
            break;
        }
        case kSysCommandClose:
            reject();
            break;
        default:
            // Moving, sizing and the rest belong to the window manager.
            break;
    }
}

void MainDialog::CreatePreview() {
    preview = new PreviewWindow(this);
    previewAction = systemMenu->addAction(UiText(kPreviewMenuText));
    previewAction->setObjectName(QStringLiteral("previewAction"));
    previewAction->setCheckable(true);
    previewAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    // Also on the window, so that Ctrl+P works with the menu closed.
    addAction(previewAction);
    connect(previewAction, &QAction::triggered, this, &MainDialog::SetPreviewShown);
    connect(preview, &PreviewWindow::Closed, this, [this] {
        KeepPreviewGeometry();
        previewAction->setChecked(false);
        if (settings != nullptr) settings->SetPreviewOpen(false);
    });
    // Each box, and the musical item, redraws the preview at once.
    for (QCheckBox* box : {horizontalCheck, verticalCheck}) {
        connect(box, &QCheckBox::toggled, this, [this] { preview->SetReversals(Ticked()); });
    }
    connect(musicalAction, &QAction::toggled, this, [this] { preview->SetReversals(Ticked()); });
    connect(preview->findChild<QCheckBox*>(QStringLiteral("ghost")), &QCheckBox::toggled, this, [this](bool shown) {
        if (settings != nullptr) settings->SetPreviewGhost(shown);
    });
}

void MainDialog::SetPreviewShown(bool shown) {
    previewAction->setChecked(shown);
    if (settings != nullptr) settings->SetPreviewOpen(shown);
    if (shown) {
        preview->show();
        preview->raise();
    } else {
        KeepPreviewGeometry();
        preview->hide();
    }
}

void MainDialog::KeepPreviewGeometry() {
    if (settings != nullptr && preview->isVisible()) settings->SetPreviewGeometry(preview->saveGeometry());
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) { systemMenu->exec(event->globalPos()); }

void MainDialog::CreateSoundMenu() {
    systemMenu->addSeparator();
    outputMenu = systemMenu->addMenu(UiText(kOutputMenuText));
    outputMenu->setObjectName(QStringLiteral("outputMenu"));
    // Ports come and go with the programs and devices that offer them.
    connect(outputMenu, &QMenu::aboutToShow, this, &MainDialog::RefreshOutputMenu);
    soundFontAction = systemMenu->addAction(UiText(kSoundFontMenuText));
    soundFontAction->setObjectName(QStringLiteral("soundFontAction"));
    connect(soundFontAction, &QAction::triggered, this, &MainDialog::OnChooseSoundFont, Qt::QueuedConnection);
    exportAction = systemMenu->addAction(UiText(kExportMenuText));
    exportAction->setObjectName(QStringLiteral("exportAction"));
    connect(exportAction, &QAction::triggered, this, &MainDialog::OnExportAudio, Qt::QueuedConnection);
    // Only a loaded piece can be exported.
    connect(systemMenu, &QMenu::aboutToShow, this,
            [this] { exportAction->setEnabled(g_loader != nullptr && g_loader->song != nullptr); });
}

void MainDialog::CreateMusicalItem() {
    // A choice about the reversal itself, so it heads the menu.
    musicalAction = systemMenu->addAction(UiText(kMusicalMenuText));
    musicalAction->setObjectName(QStringLiteral("musicalAction"));
    musicalAction->setCheckable(true);
    connect(musicalAction, &QAction::toggled, this, [this](bool on) {
        if (settings != nullptr) settings->SetMusical(on);
    });
}

void MainDialog::SetMusical(bool on) { musicalAction->setChecked(on); }

bool MainDialog::Musical() const { return musicalAction->isChecked(); }

void MainDialog::RefreshOutputMenu() {
    const std::vector<MidiPort> ports = CurrentSequencerPorts().List();
    // Told in the menu itself: a message box over an opening menu would
    // take the keys the user meant for the menu.
    const QString gone = CheckChosenPort(false);
    outputMenu->clear();
    if (!gone.isEmpty()) {
        outputMenu->addAction(UiText(kOutputGoneShort).arg(gone))->setEnabled(false);
        outputMenu->addSeparator();
    }
    auto* group = new QActionGroup(outputMenu);
    auto add = [&](const QString& text, const QString& name) {
        QAction* action = outputMenu->addAction(text);
        action->setCheckable(true);
        action->setChecked(name == outputName);
        action->setData(name);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, name] { SetMidiOutput(name); });
    };
    add(UiText(kDefaultOutputText), QString::fromLatin1(kDefaultOutputName));
    add(UiText(kBuiltInOutputText), QString::fromLatin1(kBuiltInOutputName));
    outputMenu->addSeparator();
    for (const MidiPort& port : ports) {
        const QString name = FromUtf8(OutputName(port));
        add(QStringLiteral("%1  (%2)").arg(name, FromUtf8(port.Address())), name);
    }
    if (ports.empty()) {
        const bool sequencer = CurrentSequencerPorts().Available();
        outputMenu->addAction(UiText(sequencer ? kNoPortsText : kNoSequencerText))->setEnabled(false);
    }
}

QString MainDialog::CheckChosenPort(bool report) {
    const MidiOutChoice choice = ChoiceOfOutputName(ToLocal(outputName));
    if (choice.kind != MidiOutKind::kPort) return {};
    if (FindPort(CurrentSequencerPorts().List(), choice.target) >= 0) return {};
    const QString gone = outputName;
    SetMidiOutput(QString::fromLatin1(kDefaultOutputName));
    if (report) ReportWithValue(kOutputGone, gone);
    return gone;
}

void MainDialog::SetMidiOutput(const QString& name) {
    outputName = name.isEmpty() ? QString::fromLatin1(kDefaultOutputName) : name;
    if (settings != nullptr) settings->SetMidiOutput(outputName);
    TellOutput();
}

void MainDialog::SetSoundFont(const QString& path) {
    soundFont = path;
    if (settings != nullptr) settings->SetSoundFont(path);
    SetSoundFontText();
    TellOutput();
}

void MainDialog::SetSoundFontText() {
    const QString shown = soundFont.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(QFileInfo(soundFont).fileName());
    soundFontAction->setText(UiText(kSoundFontMenuText) + shown);
}

void MainDialog::UseOutput(ChosenMidiOut* chosen) {
    output = chosen;
    TellOutput();
}

void MainDialog::TellOutput() {
    if (output == nullptr) return;
    MidiOutChoice choice = ChoiceOfOutputName(ToLocal(outputName));
    choice.soundFont = ToLocal(soundFont);
    output->Choose(std::move(choice));
}

void MainDialog::OnChooseSoundFont() {
    FileChooser* chooser = CurrentFileChooser();
    std::string path;
    if (chooser == nullptr || !chooser->AskOpen("sf2", "Soundfonts|*.sf2;*.sf3|All files|*|", path)) return;
    if (!FluidSynthEngine::IsSoundFont(path)) {
        ReportWithValue(kNotASoundFont, QFile::decodeName(path.c_str()));
        return;
    }
    SetSoundFont(QFile::decodeName(path.c_str()));
}

std::string MainDialog::SoundFontForRender() const {
    return soundFont.isEmpty() ? FluidSynthOut::FindSoundFont() : ToLocal(soundFont);
}

Reversals MainDialog::Ticked() const {
    return {horizontalCheck->isChecked(), verticalCheck->isChecked(), musicalAction->isChecked()};
}

std::unique_ptr<MidiF0Data> MainDialog::PlayableSong() const {
    return PlayableCopy(*g_loader->song, Ticked());
}

void MainDialog::OnExportAudio() {
    if (!g_loader || !g_loader->song) return;
    const std::string soundFontPath = SoundFontForRender();
    if (soundFontPath.empty()) {
        CurrentMessageSink().Show(kModule, 0, kNoSoundFont);
        return;
    }
    FileChooser* chooser = CurrentFileChooser();
    std::string path;
    const bool flac = AudioExtensions().size() > 1;
    const char* filter = flac ? "WAV audio|*.wav|FLAC audio|*.flac|" : "WAV audio|*.wav|";
    if (chooser == nullptr || !chooser->AskSave("wav", filter, path)) return;
    if (!AudioFormatOf(path)) path += ".wav";

    std::shared_ptr<const MidiF0Data> song = PlayableSong();
    std::atomic<bool> cancel{false};
    std::atomic<int> permille{0};
    std::atomic<bool> finished{false};
    RenderResult result;
    // The walk and the synthesizer run beside the window, which keeps
    // showing the progress and any report the walk makes.
    std::thread worker([&, song] {
        const auto cancelled = [&cancel] { return cancel.load(); };
        const std::vector<TimedMessage> messages = WalkMessages(*song, cancelled);
        if (cancel.load()) {
            result.status = RenderResult::Status::kCancelled;
        } else {
            result = RenderAudio(messages, soundFontPath, path, [&](double share) {
                permille = static_cast<int>(share * 1000);
                return !cancel.load();
            });
        }
        finished = true;
    });
    QProgressDialog progress(UiText(kExporting), UiText(kCancelText), 0, 1000, this);
    progress.setObjectName(QStringLiteral("exportProgress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    QEventLoop loop;
    QTimer poll;
    connect(&progress, &QProgressDialog::canceled, &loop, [&cancel] { cancel = true; });
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (progress.wasCanceled()) cancel = true;
        progress.setValue(permille.load());
        if (finished.load()) loop.quit();
    });
    poll.start(30);
    progress.show();
    loop.exec();
    worker.join();
    progress.close();
    if (result.status == RenderResult::Status::kFailed) ReportWithValue(kExportFailed, FromUtf8(result.error));
}

void MainDialog::CreateLanguageMenu() {
    // Named in English in both languages, so that it is found by those who
    // read no Japanese; each language by its own name.
    systemMenu->addSeparator();
    QMenu* menu = systemMenu->addMenu(QStringLiteral("Language"));
    menu->setObjectName(QStringLiteral("languageMenu"));
    languageGroup = new QActionGroup(menu);
    const struct {
        Language language;
        const char* name;
    } choices[] = {{Language::kJapanese, "日本語"}, {Language::kEnglish, "English"}};
    for (const auto& choice : choices) {
        QAction* action = menu->addAction(QString::fromUtf8(choice.name));
        action->setCheckable(true);
        action->setChecked(choice.language == g_language.load());
        action->setData(QString::fromLatin1(LanguageName(choice.language).data()));
        languageGroup->addAction(action);
        const Language language = choice.language;
        connect(action, &QAction::triggered, this, [this, language] { SetLanguage(language); });
    }
}

void MainDialog::UseSettings(Settings* chosen) {
    settings = nullptr;  // reading the choice is no new choice to keep
    if (chosen != nullptr) {
        SetLanguage(chosen->MessageLanguage());
        SetMidiOutput(chosen->MidiOutput());
        SetSoundFont(chosen->SoundFont());
        preview->SetGhost(chosen->PreviewGhost());
        const QByteArray geometry = chosen->PreviewGeometry();
        if (!geometry.isEmpty()) preview->restoreGeometry(geometry);
        SetMusical(chosen->Musical());
    }
    settings = chosen;
    if (chosen != nullptr && chosen->PreviewOpen()) SetPreviewShown(true);
}

void MainDialog::SetLanguage(Language language) {
    const Language from = g_language.exchange(language);
    if (settings != nullptr) settings->SetMessageLanguage(language);
    Retranslate(from);
}

void MainDialog::Retranslate(Language from) {
    aboutAction->setText(UiText(kAboutMenuText));
    outputMenu->setTitle(UiText(kOutputMenuText));
    exportAction->setText(UiText(kExportMenuText));
    previewAction->setText(UiText(kPreviewMenuText));
    preview->Retranslate();
    musicalAction->setText(UiText(kMusicalMenuText));
    SetSoundFontText();
    for (QAction* action : languageGroup->actions()) {
        action->setChecked(action->data().toString() == QString::fromLatin1(LanguageName(g_language.load()).data()));
    }
    // The Play button's own captions change; the start caption "Play" is
    // the same in both.
    for (const char* caption : {kPlayCaption, kStopCaption}) {
        if (playButton->text() == UiText(caption, from)) playButton->setText(UiText(caption));
    }
}

QString MainDialog::DroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (!QFileInfo(path).isDir()) return path;
    }
    return {};
}

void MainDialog::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainDialog::dropEvent(QDropEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    // Loaded once the drop is over, so that the file manager is not held
    // while a message of the load waits for OK.
    const std::string file = QFile::encodeName(path).toStdString();
    QMetaObject::invokeMethod(this, [this, file] { OpenFile(file); }, Qt::QueuedConnection);
}

void MainDialog::OpenFile(const std::string& path) {
    const ChosenFile chosen(path);
    OnLoad();
}

void MainDialog::OnLoad() {
    // The previous song goes first, also when this load is cancelled or fails.
    preview->SetPiece(nullptr, {}, Ticked());
    g_loader.reset();
    g_loader = std::make_unique<MidiFileLoader>();
    if (g_loader->size == 0) {
        g_loader.reset();
        return;
    }
    g_loader->BuildSong();
    const QString name = g_loader->song ? QFile::decodeName(g_loader->path.c_str()) : QString();
    preview->SetPiece(g_loader->song.get(), name, Ticked());
}

void MainDialog::OnSave() {
    if (!g_loader || !g_loader->song) return;
    const auto copy = TransformedCopy(*g_loader->song, Ticked());
    copy->WriteSmf();
    // The writer has said why when it could not write a whole file: then
    // there is nothing to save, and no file of the chosen name is touched.
    if (copy->HoldsWrittenFile()) copy->SaveWithDialog();
}

void MainDialog::OnPlay() {
    // The play belongs to the one process-wide player, not to the loaded
    // song: a load that was cancelled or failed while playing must not leave
    // a play that this button cannot stop (and that keeps OK refusing).
    if (g_playing.load() == 1) {
        Stop();
        playButton->setText(UiText(kPlayCaption));
        g_playing.store(0);
        return;
    }
    if (!g_loader || !g_loader->song) return;
    CheckChosenPort(true);
    g_playing.store(1);
    playButton->setText(UiText(kStopCaption));
    g_playCopy = PlayableSong();
    Play(*g_playCopy, OnPlayFinished);
    g_playCopy.reset();
    if (preview->isVisible()) preview->FollowPlay();
}

void MainDialog::OnHelp() {
    if (helpViewer != nullptr) helpViewer->ShowTopic(kHelpFile, kHelpTopic);
}

void MainDialog::OnExit() {
    if (g_playing.load() == 1) {
        CurrentMessageSink().Show(kModule, 0, kCannotExitWhilePlaying);
        return;
    }
    QDialog::accept();
}

void MainDialog::accept() { OnExit(); }

void MainDialog::done(int result) {
    QDialog::done(result);
    OnDestroy();
}

void MainDialog::OnDestroy() {
    destroyed = true;
    // Left open, it opens again at the next start, where it stood.
    KeepPreviewGeometry();
    preview->hide();
    preview->SetPiece(nullptr, {}, {});
    g_loader.reset();
}

}  // namespace solvane
