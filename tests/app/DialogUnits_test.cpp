// Dialog units and the template font.

#include <QFontInfo>
#include <QFontMetrics>
#include <QTest>
#include <cmath>
#include <string_view>
#include <vector>

#include "app/AboutDialog.h"
#include "app/DialogFont.h"
#include "app/DialogUnits.h"
#include "app/MainDialog.h"
#include "support/Messages.h"
#include "tests/app/AppTestSupport.h"

class DialogUnitsTest : public QObject {
    Q_OBJECT

private slots:
    void mulDivRoundsHalvesAwayFromZero() {
        const struct {
            int number, numerator, denominator, expected;
        } cases[] = {
            {239, 6, 4, 359},  // 358.5
            {165, 13, 8, 268}, // 268.125
            {5, 6, 4, 8},      // 7.5
            {10, 13, 8, 16},   // 16.25
            {110, 7, 4, 193},  // 192.5
            {-5, 6, 4, -8},    // -7.5
            {0, 6, 4, 0},
            {7, 1, 0, -1},     // no divisor
        };
        for (const auto& c : cases) {
            QCOMPARE(solvane::DialogUnits::MulDiv(c.number, c.numerator, c.denominator), c.expected);
        }
    }

    void baseWidthIsTheLetterAverageWithHalvesRoundedUp() {
        const struct {
            int extent, expected;
        } cases[] = {
            {285, 5},  // 5.48
            {286, 6},  // 5.5
            {311, 6},  // 5.98
            {337, 6},  // 6.48
            {338, 7},  // 6.5
            {363, 7},  // 6.98
        };
        for (const auto& c : cases) QCOMPARE(solvane::DialogUnits::BaseWidth(c.extent), c.expected);
    }

    void baseUnitsComeFromTheLettersAndTheFontHeight() {
        const QFont font = solvane::DialogFont();
        const QFontMetrics metrics(font);
        const solvane::DialogUnits units(font);
        const int extent =
            metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        // The average letter width, rounded to the nearest pixel.
        const double average = extent / 52.0;
        QVERIFY2(std::abs(units.baseX() - average) <= 0.5, qPrintable(QString::number(average)));
        QCOMPARE(units.baseX(), solvane::DialogUnits::BaseWidth(extent));
        QCOMPARE(units.baseY(), metrics.height());
        QCOMPARE(units.MapSize(4, 8), QSize(units.baseX(), units.baseY()));
        QCOMPARE(units.MapRect(4, 8, 8, 16), QRect(units.baseX(), units.baseY(), 2 * units.baseX(), 2 * units.baseY()));
    }

    void templateFontFallsBackToAJapaneseGothic() {
        // Qt keeps substitutes in lower case.
        QCOMPARE(QFont::substitutes(QString::fromUtf8(solvane::kDialogFontFamily)),
                 (QStringList{QStringLiteral("ipapgothic"), QStringLiteral("noto sans cjk jp")}));
        const QFont font = solvane::DialogFont();
        QCOMPARE(font.pointSize(), 9);
        const QString used = QFontInfo(font).family();
        QVERIFY2(used == QStringLiteral("IPAPGothic") || used == QStringLiteral("Noto Sans CJK JP"),
                 qPrintable(used));
    }

    void everyJapaneseTextHasGlyphsInTheTemplateFont() {
        using solvane::Module;
        std::vector<std::string_view> texts = {
            "水平反転", "垂直反転", "読み込み", "再生", "保存", "終了", "ヘルプ", "停止",
            solvane::kAboutCaption, solvane::kAboutMenuText, solvane::kCannotExitWhilePlaying,
        };
        // Every code of every table, and each module's fallback (its code 0).
        const struct {
            Module module;
            std::uint32_t first;
            std::uint32_t last;
        } tables[] = {
            {Module::kGeneral, 0, 5},
            {Module::kMidiF1Data, 0x02000000, 0x02000008},
            {Module::kMidiF0Data, 0x04000000, 0x04000005},
            {Module::kMusicEvent, 0x06000000, 0x06000001},
            {Module::kMidiControler, 0x07000000, 0x07000004},
            {Module::kMidiPlayer, 0x08000000, 0x08000004},
            {Module::kMusicPlayer, 0x09000000, 0x09000001},
            {Module::kMidiTrackData, 0x0D000000, 0x0D00000B},
            {Module::kMidiFileLoader, 0x17000000, 0x17000002},
        };
        for (const auto& table : tables) {
            texts.push_back(solvane::ErrorMessage(table.module, 0));
            for (std::uint32_t code = table.first; code <= table.last; ++code) {
                texts.push_back(solvane::ErrorMessage(table.module, code));
            }
        }
        for (std::uint32_t code : {0x0D000002u, 0x0D000009u, 0x0D00000Au, 0x0D00000Bu}) {
            texts.push_back(solvane::TrackWarningMessage(code));
        }
        const QFontMetrics metrics(solvane::DialogFont());
        for (std::string_view text : texts) {
            const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
            for (char32_t c : shown.toUcs4()) {
                if (c == U'\r') continue;
                QVERIFY2(metrics.inFontUcs4(c), qPrintable(shown));
            }
        }
    }
};

SOLVANE_APP_SUITE(DialogUnitsTest);

#include "DialogUnits_test.moc"
