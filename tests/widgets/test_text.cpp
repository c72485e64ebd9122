#include <gtest/gtest.h>

#include "Forms.h"

TEST(ModelTextBoundary, DecodesUtf8AndWindowsText)
{
    struct Case {
        const char *bytes;
        QString expected;
    } cases[] = {
        {"plain", QStringLiteral("plain")},
        {"Caf\xC3\xA9 \xE2\x82\xAC", QStringLiteral("Café €")},
        {"Caf\xE9 \x80 \x96", QStringLiteral("Café € –")}, // Windows-1252
        {"\x81\x8D", QString(QChar(0x81)) + QChar(0x8D)},
        {"", QString()},
    };
    for (const Case &tc : cases) {
        char field[50] = {};
        std::strncpy(field, tc.bytes, sizeof field - 1);
        EXPECT_EQ(forms::ModelText(field), tc.expected) << tc.bytes;
    }
}

TEST(ModelTextBoundary, DecodingStopsAtTheFieldEnd)
{
    char field[4] = {'a', 'b', 'c', 'd'}; // no NUL at all
    EXPECT_EQ(forms::ModelText(field), QStringLiteral("abcd"));
}

TEST(ModelTextBoundary, CuttingNeverSplitsACharacter)
{
    char field[6];
    forms::SetModelText(field, QStringLiteral("ab€cd")); // € is three bytes: 'ab€' = 5
    EXPECT_STREQ(field, "ab\xE2\x82\xAC");
    forms::SetModelText(field, QStringLiteral("abcd€"));
    EXPECT_STREQ(field, "abcd");
    forms::SetModelText(field, QStringLiteral("😀😀")); // four bytes each
    EXPECT_STREQ(field, "\xF0\x9F\x98\x80");
    forms::SetModelText(field, QStringLiteral("a") + QChar(0) + "b");
    EXPECT_STREQ(field, "a");
    EXPECT_EQ(forms::ModelText(field), QStringLiteral("a"));
}

TEST(ModelTextBoundary, ColoursAreBlueGreenRed)
{
    QColor c = forms::ToQColor(0x0000FF);
    EXPECT_EQ(c, QColor(255, 0, 0));
    EXPECT_EQ(forms::ToTColor(QColor(166, 202, 240)), 0xF0CAA6u);
}

// Qt searches every font for a fallback when the first family it is asked for is missing, so the
// designed families that a desktop lacks are asked for by their installed stand-ins instead.
TEST(DesignedFonts, MissingFamiliesAreAskedForByTheirInstalledStandIns)
{
    forms::InstallFontSubstitutes();
    struct Case {
        const char *family;
        const char *expected;
    } cases[] = {
        {"MV Boli", "DejaVu Sans"},                     // missing, with a stand-in
        {"SF Proverbial Gothic", "DejaVu Sans"},        // likewise
        {"DejaVu Sans Mono", "DejaVu Sans Mono"},       // installed: itself
        {"dejavu sans", "dejavu sans"},                 // installed, in other letters
        {"No Such Family Here", "No Such Family Here"}, // missing, no stand-in: Qt's own search
        {"", ""},
    };
    for (const Case &tc : cases)
        EXPECT_EQ(forms::InstalledFamily(QString::fromUtf8(tc.family)), QString::fromUtf8(tc.expected))
            << tc.family;
    EXPECT_EQ(forms::MakeFont(QStringLiteral("Verdana"), 13, true).family(), QStringLiteral("DejaVu Sans"));
    // The other tests draw with the families as designed.
    for (const char *family : {"SF Proverbial Gothic Extended", "SF Proverbial Gothic", "BankGothic Lt BT",
                               "MV Boli", "Verdana", "Arial", "MS Sans Serif", "Lucida Console"})
        QFont::removeSubstitutions(QString::fromLatin1(family));
}
