// Error messages: the texts of the exceptions, their languages, how they are
// shown, and the text helpers they are built with.
#include <gtest/gtest.h>

#include "framework/exception.h"
#include "framework/strings.h"
#include "framework/wstr.h"
#include "support/scripted_ui.h"
#include "support/temp_profile.h"

namespace {

// A profile whose "LangID" decides the module's language for the test.
class Language {
public:
    explicit Language(const char* langId) {
        if (langId) {
            m_profile.Set("Settings", "LangID", langId);
        }
        SetThreadLanguage(0);
        SetModuleLanguage(0); // read the profile again
    }
    ~Language() { SetModuleLanguage(0); }

private:
    TempProfile m_profile{"kob-messages"};
};

std::string Text(const CException& e) {
    return Narrow(e.GetErrorText());
}

} // namespace

// Each lookup of a box error beeps, as the box's errors do; a small buffer
// gets the beginning, terminated; an error without code has no text and is
// reported with the stand-in the caller names, or a fixed one.
TEST(Messages, ErrorsAreShownThroughTheUserInterfaceAndFitTheBuffer) {
    Language english("1033");
    ScriptedUi ui;
    char16_t buffer[8];
    unsigned help = 0;
    ASSERT_TRUE(CCommException(20014).GetErrorMessage(buffer, 8, &help));
    EXPECT_EQ(Narrow(buffer), "The int");
    EXPECT_EQ(help, 20014u);
    EXPECT_EQ(ui.beeps, 1);

    CCommException none(0);
    EXPECT_EQ(none.MessageId(), 1505u);
    EXPECT_FALSE(none.GetErrorMessage(buffer, 8, &help));
    EXPECT_EQ(buffer[0], 0);
    none.ReportError(platform::kMbOk, 20011);
    none.ReportError();
    EXPECT_EQ(ui.Messages(), (std::vector<std::string>{"Data transfer error to or from the device.",
                                                       "No error message is available."}));
    EXPECT_EQ(Text(CFPException(CFPException::divideByZero)),
              "Floating-point error: division by zero.");

    // The box's answer and style pass through; a file error beeps not, and
    // its own text wins over the stand-in.
    const int beeps = ui.beeps;
    ui.boxAnswers.push_back(platform::kIdCancel);
    EXPECT_EQ(CCommException(20012).ReportError(platform::kMbOkCancel | platform::kMbIconStop),
              platform::kIdCancel);
    EXPECT_EQ(ui.Messages().back(),
              "Error reading from the serial device.\nThe requested data could not be read.");
    EXPECT_EQ(ui.styles.back(), platform::kMbOkCancel | platform::kMbIconStop);
    EXPECT_EQ(ui.beeps, beeps + 1);
    CArchiveException(CArchiveException::badSchema).ReportError(platform::kMbOk, 20011);
    EXPECT_EQ(ui.Messages().back(), "The file was written by an incompatible version.");
    EXPECT_EQ(ui.beeps, beeps + 1);
}

TEST(Messages, LangIdOfTheProfileChoosesTheLanguage) {
    {
        Language german("1031");
        EXPECT_EQ(CurrentLanguage(), kLangGerman);
        EXPECT_EQ(Text(CCommException(20014)),
                  "Das Interface hat den gesendeten Befehl nicht angenommen.");
        EXPECT_EQ(Text(CArchiveException(CArchiveException::endOfFile)),
                  "Die Datei endet unerwartet.");

        // A thread may have its own language.
        SetThreadLanguage(kLangEnglish);
        EXPECT_EQ(Text(CCommException(20014)), "The interface did not accept the command sended.");
        SetThreadLanguage(0);
        EXPECT_EQ(Narrow(LoadResString(20014, kLangSpanish)),
                  "La interfaz no aceptó el comando enviado.");
    }
    // Swiss German is German (the primary language decides); a language the
    // module does not ship falls back to English.
    const std::pair<const char*, const char*> cases[] = {
        {"2055", "Die Datei endet unerwartet."},
        {"1036", "Le fichier se termine de façon inattendue."},
        {"1041", "The file ends unexpectedly."}};
    for (const auto& [langId, text] : cases) {
        Language language(langId);
        EXPECT_EQ(Narrow(LoadResString(21001)), text) << langId;
    }
}

TEST(FormatText, NumberedPlaceholdersTakeTheArguments) {
    EXPECT_EQ(FormatText(u"%2 before %1", {u"one", u"two"}), u"two before one");
    EXPECT_EQ(FormatText(u"%1%1", {u"ab"}), u"abab");
    // Missing arguments give nothing; what is no placeholder stays.
    EXPECT_EQ(FormatText(u"[%3]", {u"a", u"b"}), u"[]");
    EXPECT_EQ(FormatText(u"100% %0 %", {u"x"}), u"100% %0 %");
    // A replacement is not scanned again.
    EXPECT_EQ(FormatText(u"%1", {u"%2", u"no"}), u"%2");
}

TEST(WideStrings, Utf8AndUtf16ConvertBothWays) {
    const std::string text = "Gr\xC3\xBC\xC3\x9F"
                             "e \xE2\x82\xAC \xF0\x9F\x98\x80";
    WString wide = Widen(text);
    EXPECT_EQ(wide, u"Grüße € \U0001F600");
    EXPECT_EQ(Narrow(wide), text);

    // Malformed input becomes U+FFFD: a stray continuation byte, a cut
    // sequence, an encoded surrogate, overlong forms, a code beyond U+10FFFF.
    EXPECT_EQ(Widen("a\x80z"), u"a\uFFFDz");
    EXPECT_EQ(Widen("a\xE2\x82"), u"a\uFFFD\uFFFD");
    for (const char* bad :
         {"\xED\xA0\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xF4\x90\x80\x80"}) {
        EXPECT_EQ(Widen(bad).front(), u'\uFFFD') << Narrow(Widen(bad));
    }

    // Unpaired surrogates become U+FFFD on the way out.
    WString lone = u"x";
    lone.push_back(u'\xD800');
    lone.push_back(u'y');
    lone.push_back(u'\xDC00');
    lone.push_back(u'\xD800'); // U+E000 is no low surrogate
    lone.push_back(u'\xE000');
    EXPECT_EQ(Narrow(lone), "x\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD\xEE\x80\x80");
}
