// A user interface for tests: records every message box, beep and dialog,
// and answers from a script instead of waiting for a person.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "framework/wstr.h"
#include "platform/ui/ui.h"

class ScriptedUi : public platform::UiHandler {
public:
    ScriptedUi() { m_pPrevious = platform::SetUiHandler(this); }
    ~ScriptedUi() override { platform::SetUiHandler(m_pPrevious); }
    ScriptedUi(const ScriptedUi&) = delete;
    ScriptedUi& operator=(const ScriptedUi&) = delete;

    int ShowBox(const std::u16string& text, const std::u16string&, unsigned style) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        messages.push_back(text);
        styles.push_back(style);
        if (!boxAnswers.empty()) {
            int a = boxAnswers.front();
            boxAnswers.pop_front();
            return a;
        }
        return platform::kIdOk;
    }
    void Beep(unsigned) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++beeps;
    }
    void WaitCursor(bool on) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        waitDepth += on ? 1 : -1;
    }
    platform::InitFailedAnswer InitFailedDialog(const platform::InitFailedRequest& r) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        dialogs.push_back(r);
        if (!dialogAnswers.empty()) {
            auto a = dialogAnswers.front();
            dialogAnswers.pop_front();
            return a;
        }
        return {2, r.selection}; // "Exit Program"
    }

    // The messages shown so far, as UTF-8 for readable assertions.
    std::vector<std::string> Messages() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> out;
        for (const auto& m : messages) {
            out.push_back(Narrow(m));
        }
        return out;
    }

    std::vector<std::u16string> messages;
    std::vector<unsigned> styles;
    std::deque<int> boxAnswers;
    std::vector<platform::InitFailedRequest> dialogs;
    std::deque<platform::InitFailedAnswer> dialogAnswers;
    int beeps = 0;
    int waitDepth = 0;

private:
    mutable std::mutex m_mutex;
    platform::UiHandler* m_pPrevious = nullptr;
};
