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

// How much of an insertion fits beside what a field keeps: whole characters
// only, by bytes of UTF-8 and, where a field counts them, by characters.
TEST(ModelTextBoundary, AnInsertionFitsInWholeCharacters)
{
    const QString smile = QStringLiteral("😀"); // two UTF-16 units, four bytes
    struct Case {
        QString kept, inserted;
        int maxBytes, maxChars;
        QString expected;
    } cases[] = {
        {"ab", "cdef", 4, -1, "cd"},
        {"ab", "cdef", 10, -1, "cdef"},
        {"ab", QString(3, QChar(0x00E9)), 5, -1, QString(1, QChar(0x00E9))}, // 2 + 2, the next would be 6
        {"ab", QString(QChar(0x20AC)), 4, -1, ""}, // three bytes, two left
        {"", smile + smile, 7, -1, smile},
        {"", smile + "x", 3, -1, ""},                   // never half a pair
        {"", QString(QChar(0xD83D)) + "x", 9, -1, ""}, // a lone half stops the insertion
        {"abc", "defgh", 49, 5, "de"},
        {QString(6, 'k'), "x", 49, 5, ""}, // kept alone is over: nothing more
        {"full", "x", 4, -1, ""},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE((tc.kept + "|" + tc.inserted).toStdString());
        EXPECT_EQ(forms::FittingInsertion(tc.kept, tc.inserted, tc.maxBytes, tc.maxChars).toStdString(),
                  tc.expected.toStdString());
    }
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
