// The simulated box: takes the host's bytes, answers as the box would, and
// can be told to misbehave per command. Later instruments add their
// commands with AddCommand and keep their state beside the box.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kobsim {

using Bytes = std::vector<uint8_t>;

enum class FaultKind {
    NoReply,    // the command is taken, nothing is answered
    ShortReply, // only the first arg bytes of the reply
    WrongAck,   // "!" in the reply becomes another byte (arg, default 0x15)
    Garbage,    // arg bytes of garbage follow the reply
    Delay,      // the reply comes arg ms late
    HangUp,     // the line is dropped when the command arrives
};

struct Fault {
    FaultKind kind = FaultKind::NoReply;
    int arg = 0;
    int count = -1; // how many times; -1 = every time
};

// Parses "0x0e:wrong-ack", "2:delay:1500", "0x0b:hangup x2" style texts.
bool ParseFault(const std::string& text, uint8_t& command, Fault& fault, std::string& error);

struct BoxConfig {
    int model = 2;        // 1 = "KX7710-3B", 2 = "KX7710-3B2"
    bool oldBox = false;  // answers "?" to the model query
    int version = 105;    // firmware version in the identity
    std::string identity; // the whole identity text, when given
    bool fast = false;    // scope records and DVM buffers complete at once
};

// What one feed of bytes produced on the box's side.
struct Output {
    Bytes bytes;     // the reply, in order
    int delayMs = 0; // wait this long before sending it
    bool hangUp = false;
};

class Analog;
class Generators;
class Digital;
class Handheld;

class Box {
public:
    explicit Box(BoxConfig config = {});
    ~Box();

    // Operands of a command: a fixed count, or a function telling, from the
    // operand bytes so far, how many it needs in all.
    using Need = std::function<size_t(const Bytes& operands)>;
    using Handler = std::function<void(uint8_t command, const Bytes& operands, Bytes& reply)>;
    void AddCommand(uint8_t command, const std::string& name, size_t operands, Handler handler);
    void AddCommand(uint8_t command, const std::string& name, Need need, Handler handler);

    Output Feed(const uint8_t* data, size_t count);
    // From inside a handler only: words added to the command's log line.
    void Detail(const std::string& text) { m_strDetail = text; }
    // From inside a handler only: the next count bytes are the command's data
    // (a table after its header), handed to handler when all have come; its
    // reply, with the command's faults, follows them.
    void ExpectData(size_t count, Handler handler);

    void AddFault(uint8_t command, Fault fault);
    void ClearFaults();

    const BoxConfig& Config() const { return m_config; }
    std::string Identity() const;
    // One line per command received, in the box's words.
    std::vector<std::string> Log() const;
    // Commands received, by code, for quick checks.
    std::vector<uint8_t> Commands() const;
    // Every command the box knows, by code, with its name.
    std::vector<std::pair<uint8_t, std::string>> KnownCommands() const;
    bool Closed() const { return m_bClosed; }
    // Instruments announced with 0x0E and not released.
    std::vector<int> Announced() const;
    // The analog inputs with the scope and the DVM on them.
    Analog& AnalogInputs() { return *m_analog; }
    // The digital port with the analyser, and the relays.
    Digital& DigitalPort() { return *m_digital; }
    Handheld& HandheldMeter() { return *m_handheld; }

private:
    struct Command {
        std::string name;
        Need need;
        Handler handler;
    };
    void Complete(Output& out);
    void CompleteData(Output& out);
    void ApplyFaults(uint8_t command, Bytes& reply, Output& out);
    void AddLog(const std::string& line);

    BoxConfig m_config;
    std::map<uint8_t, Command> m_commands;
    std::map<uint8_t, std::vector<Fault>> m_faults;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_log;
    std::vector<uint8_t> m_received;
    std::vector<int> m_announced;
    bool m_bClosed = false;
    // The command being collected.
    bool m_bInCommand = false;
    uint8_t m_byCommand = 0;
    Bytes m_operands;
    std::string m_strDetail;
    // The data being collected.
    size_t m_nDataCount = 0;
    Bytes m_data;
    Handler m_dataHandler;
    std::unique_ptr<Analog> m_analog;
    std::unique_ptr<Generators> m_generators;
    std::unique_ptr<Digital> m_digital;
    std::unique_ptr<Handheld> m_handheld;
};

std::string InstrumentName(int type);
std::string Hex(const Bytes& bytes);
// The fields of an option value such as "sine:1000:2".
std::vector<std::string> SplitFields(const std::string& text, char separator = ':');

} // namespace kobsim
