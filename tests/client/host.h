// What a COM client test needs of its surroundings, the same on every
// system: the module loaded as a client loads it, a profile naming the
// lines, the box on a line, and a user who answers boxes and dialogs.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "server/koblabview.h"

namespace client {

class Host {
public:
    // boxArgs: simulator options where the test starts the box itself.
    explicit Host(const std::vector<std::string>& boxArgs = {});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The class object as DllGetClassObject gives it (with the module's
    // message on failure).
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);
    // A new server object by the ProgID "Kobaltix.LabVIEW" where the system
    // has a registry, else through the class factory.
    HRESULT Create(IKobaltix** out);
    HRESULT CanUnloadNow();
    // Unloads the module as the client's system does when it is no longer
    // used (the module's static objects end).
    void Unload();

    // The profile the module reads: "Port" and the lines' device paths
    // (POSIX; on Windows the lines are the system's).
    void SetProfile(int port, const std::map<int, std::string>& lines);
    // Line number on which the simulated box answers, and its device path.
    int BoxLine() const;
    std::string BoxPath() const;
    // A line with nothing behind it.
    int MissingLine() const;
    std::string MissingPath() const;

    // What the box logged of the commands it received, waiting up to
    // waitMs for a line containing until (empty where the box's log cannot
    // be seen).
    std::vector<std::string> BoxLog(const std::string& until = "", int waitMs = 0);

    // Messages the module showed, in order (UTF-8).
    std::vector<std::string> Messages();
    // Whether the connection dialog is answered as AnswerDialog says and
    // its lines can be read back.
    bool ScriptsDialogs() const;
    // The connection dialogs shown: their lines, in order (UTF-8).
    std::vector<std::vector<std::string>> Dialogs();
    // The message each connection dialog showed, in order (UTF-8).
    std::vector<std::string> DialogMessages();
    // How the next connection dialog is answered (default "Exit Program").
    void AnswerDialog(int endCode, int selection);

private:
    struct Impl;
    Impl* m_pImpl;
};

std::string Narrow(BSTR text);

} // namespace client
