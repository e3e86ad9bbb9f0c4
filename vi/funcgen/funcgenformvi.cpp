// The formula generator window: a keypad types the formula, the compiler
// checks it at every key (its message and a mark under the place it
// stopped), and Send makes it the generator's waveform.
#include <numbers>
#include <vector>

#include "formula/forcomp.h"
#include "framework/exception.h"
#include "instruments/funcgen/funcgen.h"
#include "platform/resource/resource.h"
#include "vi/controls/displays.h"
#include "vi/funcgen/funcgenvi.h"

namespace {

// The keys: their ids are their bitmaps' ids.
constexpr uint32_t kIdKeyFirst = 5300;
constexpr const char16_t* kKeyText[] = {
    u"0",    u"1",    u"2",     u"3",    u"4",    u"5",    u"6",    u"7",    u"8",
    u"9",    u".",    u"X",     u"PI",   u"+",    u"-",    u"*",    u"/",    u"(",
    u")",    u";",    u"SIN(",  u"COS(", u"TAN(", u"SQU(", u"TRI(", u"SAW(", u"PWM(",
    u"PUL(", u"ABS(", u"SQRT(", u"EXP(", u"LN(",  u"RND(", u"SGN(",
};
constexpr uint32_t kKeys = sizeof kKeyText / sizeof kKeyText[0];
constexpr uint32_t kIdBackspace = 5340, kIdClear = 5341, kIdSend = 5342;

// Message texts of the window.
constexpr uint32_t kMsgCorrect = 5300;
constexpr uint32_t kMsgErrorAt = 5301; // "%d": the character, counted from 1
constexpr uint32_t kMsgNotComputable = 5302;
constexpr uint32_t kMsgPlaying = 5303;
constexpr uint32_t kMsgBuiltIn = 5304;
constexpr uint32_t kMsgSent = 5305;

// Characters the formula line shows; a longer formula shows its end.
constexpr size_t kVisible = 44;

WString Message(uint32_t id, int number = 0) {
    WString text = platform::LoadResourceString(id);
    const size_t at = text.find(u"%d");
    if (at != WString::npos) {
        const std::string n = std::to_string(number);
        text.replace(at, 2, WString(n.begin(), n.end()));
    }
    return text;
}

bool IsLetter(char16_t c) {
    return c >= u'A' && c <= u'Z';
}

} // namespace

bool CFuncGenFormVI::Init() {
    m_strEdit = FGenFormula();
    return CFuncGenVI::Init();
}

void CFuncGenFormVI::SetEditText(const WString& text) {
    m_strEdit = CForComp::ToUpper(text.substr(0, kMaxFormula));
    ShowEdit();
}

void CFuncGenFormVI::SetLabel(uint32_t id, const WString& text) {
    auto* label = dynamic_cast<CHotLabel*>(FindHotspot(kTagLabel, id));
    if (!label || label->m_strText == text)
        return;
    // The old text and the new one, to the right edge of the panel.
    platform::Rect r = label->m_rcArea.Inflated(2);
    r.right = static_cast<int32_t>(m_nClientWidth);
    label->m_strText = text;
    if (IsWindow())
        Wnd()->Invalidate(&r, true);
}

void CFuncGenFormVI::ShowEdit() {
    const size_t offset = m_strEdit.size() > kVisible ? m_strEdit.size() - kVisible : 0;
    SetLabel(kIdFGenFormulaText, m_strEdit.substr(offset));
    CForComp comp;
    if (comp.Compile(m_strEdit.c_str())) {
        SetLabel(kIdFGenFormulaMark, u"");
        SetLabel(kIdFGenFormulaStatus, Message(kMsgCorrect));
        return;
    }
    const size_t pos = static_cast<size_t>(comp.ErrorPos());
    SetLabel(kIdFGenFormulaMark, WString(pos > offset ? pos - offset : 0, u' ') + u"^");
    WString error;
    comp.GetErrorText(error);
    SetLabel(kIdFGenFormulaStatus, Message(kMsgErrorAt, comp.ErrorPos() + 1) + error);
}

void CFuncGenFormVI::Refresh(bool force) {
    CFuncGenVI::Refresh(force);
    const WString playing = g_nFGenFunction == kFGenFormula ? Message(kMsgPlaying) + FGenFormula()
                                                            : Message(kMsgBuiltIn);
    if (force || playing != m_strPlaying) {
        m_strPlaying = playing;
        SetLabel(kIdFGenFormulaPlaying, playing);
    }
    if (force)
        ShowEdit();
}

void CFuncGenFormVI::SendFormula() {
    CForComp comp;
    std::vector<double> table(kFGenFormulaPoints);
    // The worker computes the table again; a formula that fails over the
    // period is stopped here, where the user sees why.
    if (!comp.Evaluate(m_strEdit.c_str(), kFGenFormulaPoints, 0.0, 2.0 * std::numbers::pi,
                       table.data())) {
        if (comp.Error() == CForComp::errNone)
            SetLabel(kIdFGenFormulaStatus, Message(kMsgNotComputable));
        return;
    }
    if (m_pFuncGen->SetFormula(m_strEdit, false)) {
        m_pFuncGen->SetFunction(kFGenFormula);
        SetLabel(kIdFGenFormulaStatus, Message(kMsgSent));
    }
}

bool CFuncGenFormVI::OnCommand(uint32_t id) {
    const bool key = id >= kIdKeyFirst && id < kIdKeyFirst + kKeys;
    if (!key && id != kIdBackspace && id != kIdClear && id != kIdSend)
        return CFuncGenVI::OnCommand(id);
    if (!m_pFuncGen)
        return true;
    if (key) {
        const WString text = kKeyText[id - kIdKeyFirst];
        if (m_strEdit.size() + text.size() <= kMaxFormula)
            m_strEdit += text;
    } else if (id == kIdBackspace && !m_strEdit.empty()) {
        // A function key's name goes with its bracket.
        size_t cut = m_strEdit.size() - 1;
        if (m_strEdit[cut] == u'(')
            while (cut > 0 && IsLetter(m_strEdit[cut - 1]))
                --cut;
        m_strEdit.erase(cut);
    } else if (id == kIdClear) {
        m_strEdit.clear();
    } else if (id == kIdSend) {
        ShowEdit();
        SendFormula();
        Refresh(false);
        return true;
    }
    ShowEdit();
    return true;
}

void CFuncGenFormVI::SerializeOwn(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << m_strEdit;
        return;
    }
    WString text;
    ar >> text;
    if (text.size() > kMaxFormula)
        ThrowArchiveException(CArchiveException::generic);
    SetEditText(text);
}
