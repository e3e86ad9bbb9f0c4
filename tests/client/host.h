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

    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);
    // A new server object, by the ProgID where the system has a registry.
    HRESULT Create(IKobaltix** out);
    HRESULT CanUnloadNow();
    // Unloads the module as the system does once it is unused.
    void Unload();
    // The profile's "Port"; of the lines only kBoxLine leads to a box.
    void SetProfile(int port);
    // A line the connection dialog lists with nothing behind it (0 where
    // the system has none to spare).
    int MissingLine() const;

    // The commands the box logged, waiting up to waitMs for a line holding
    // until (empty where the log cannot be seen).
    std::vector<std::string> BoxLog(const std::string& until = "", int waitMs = 0);
    // What the user saw, in order (UTF-8).
    std::vector<std::string> Messages();
    std::vector<Dialog> Dialogs();
    // How the next connection dialog is answered (default "Exit Program").
    void AnswerDialog(int endCode, int selection);

private:
    struct Impl;
    Impl* m_pImpl;
};

std::string Narrow(BSTR text);

} // namespace client
