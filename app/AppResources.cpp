#include "app/AppResources.h"

namespace solvane {

QIcon ApplicationIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/solvane/solvane-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/solvane/solvane-32.png"), QSize(32, 32));
    return icon;
}

QString HelpPageUrl(const QString& topic) { return QStringLiteral("qrc:/solvane/help/") + topic; }

}  // namespace solvane
