#include "app/AboutDialog.h"

#include <QLabel>
#include <QPushButton>

#include "app/AppResources.h"
#include "app/AppTexts.h"
#include "app/DialogFont.h"
#include "app/DialogUnits.h"

namespace solvane {
namespace {

constexpr int kWidth = 235;
constexpr int kHeight = 55;
constexpr int kIconPixels = 32;

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(UiText(kAboutCaption));
    setFont(DialogFont());
    const DialogUnits units(font());
    setFixedSize(units.MapSize(kWidth, kHeight));

    const QIcon icon = ApplicationIcon();
    setWindowIcon(icon);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("icon"));
    picture->setPixmap(icon.pixmap(kIconPixels, kIconPixels));
    picture->setGeometry(QRect(units.MapX(11), units.MapY(17), kIconPixels, kIconPixels));

    auto* name = new QLabel(QStringLiteral("Solvane"), this);
    name->setObjectName(QStringLiteral("name"));
    name->setGeometry(units.MapRect(40, 10, 119, 8));

    auto* version = new QLabel(QStringLiteral("Version ") + QString::fromLatin1(kVersionText), this);
    version->setObjectName(QStringLiteral("version"));
    version->setGeometry(units.MapRect(40, 25, 119, 8));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    ok->setGeometry(units.MapRect(178, 7, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    ok->setFocus();
}

}  // namespace solvane
