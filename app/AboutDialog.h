#pragma once
// The about box: the icon, the program's name and version, and OK. No
// behaviour beyond a plain modal dialog: OK or Escape closes it.

#include <QDialog>

namespace solvane {

inline constexpr const char* kAboutCaption = "Vandrelのﾊﾞｰｼﾞｮﾝ情報";

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace solvane
