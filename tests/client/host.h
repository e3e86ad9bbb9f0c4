// What a COM client test needs of its surroundings, the same on every
// system: the module loaded as a client loads it, a profile choosing the
// line, the box on line kBoxLine, and a user who answers boxes and dialogs.
#pragma once

#include <string>
#include <vector>

#include "server/koblabview.h"

namespace client {

constexpr int kBoxLine = 1;

// A connection dialog as the user saw it.
struct Dialog {
    std::string message;
    std::vector<std::string> lines;
};

class Host {
public:
    // boxArgs: simulator options where the test starts the box itself.
    explicit Host(const std::vector<std::string>& boxArgs = {});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The module's exports; Create goes by the ProgID where the system has
    // a registry, Unload as the system unloads an unused module.
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);
    HRESULT Create(IKobaltix** out);
    HRESULT CanUnloadNow();
    void Unload();
    // The profile's "Port"; of the lines only kBoxLine leads to a box.
    void SetProfile(int port);
    // A line the connection dialog lists with nothing behind it (0 where
    // the system has none to spare).
    int MissingLine() const;

    // The commands the box logged, waiting up to waitMs for a line holding
    // until (empty where the log cannot be seen).
    std::vector<std::string> BoxLog(const std::string& until = "", int waitMs = 0);
    // What the user saw, in order (UTF-8), and how the next connection
    // dialog is answered (default "Exit Program").
    std::vector<std::string> Messages();
    std::vector<Dialog> Dialogs();
    void AnswerDialog(int endCode, int selection);

private:
    struct Impl;
    Impl* m_pImpl;
};

std::string Narrow(BSTR text);

} // namespace client
