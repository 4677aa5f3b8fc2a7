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
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QWidget>

#include "app/AboutDialog.h"
#include "app/AppResources.h"
#include "app/AppTexts.h"
#include "app/DialogFont.h"
#include "app/DialogUnits.h"
#include "app/Settings.h"
#include "platform/FileChooser.h"
#include "platform/HelpViewer.h"
#include "platform/MessageSink.h"
#include "playback/MusicPlayer.h"
#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"

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
    systemMenu->addSeparator();
    QAction* about = systemMenu->addAction(UiText(kAboutMenuText));
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(kSysCommandAbout); }, Qt::QueuedConnection);
    aboutAction = about;
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

void MainDialog::contextMenuEvent(QContextMenuEvent* event) { systemMenu->exec(event->globalPos()); }

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
    if (chosen != nullptr) SetLanguage(chosen->MessageLanguage());
    settings = chosen;
}

void MainDialog::SetLanguage(Language language) {
    const Language from = g_language.exchange(language);
    if (settings != nullptr) settings->SetMessageLanguage(language);
    Retranslate(from);
}

void MainDialog::Retranslate(Language from) {
    aboutAction->setText(UiText(kAboutMenuText));
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
    g_loader.reset();
    g_loader = std::make_unique<MidiFileLoader>();
    if (g_loader->size == 0) {
        g_loader.reset();
        return;
    }
    g_loader->BuildSong();
}

void MainDialog::OnSave() {
    if (!g_loader || !g_loader->song) return;
    MidiF0Data copy(*g_loader->song);
    copy.ToEventForm();
    // Time first, then pitch: the reversal pairs note-offs by key, and the
    // inversion can bring two keys together at the edge of the range.
    if (horizontalCheck->isChecked()) copy.ReverseHorizontal();
    if (verticalCheck->isChecked()) copy.ReverseVertical();
    copy.WriteSmf();
    // The writer has said why when it could not write a whole file: then
    // there is nothing to save, and no file of the chosen name is touched.
    if (copy.HoldsWrittenFile()) copy.SaveWithDialog();
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
    g_playing.store(1);
    playButton->setText(UiText(kStopCaption));
    g_playCopy = std::make_unique<MidiF0Data>(*g_loader->song);
    g_playCopy->ToEventForm();
    // Time first, then pitch, as in Save.
    if (horizontalCheck->isChecked()) g_playCopy->ReverseHorizontal();
    if (verticalCheck->isChecked()) g_playCopy->ReverseVertical();
    g_playCopy->ToNoteForm();
    Play(*g_playCopy, OnPlayFinished);
    g_playCopy.reset();
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
    g_loader.reset();
}

}  // namespace solvane
