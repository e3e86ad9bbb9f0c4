#include "sim/box.h"

#include "sim/analog.h"
#include "sim/digital.h"
#include "sim/generators.h"
#include "sim/handheld.h"

#include <cstdio>
#include <cstdlib>

namespace kobsim {

namespace {
constexpr uint8_t kAck = 0x21;
constexpr uint8_t kUnknown = 0x3F;
} // namespace

std::string InstrumentName(int type) {
    static const char* names[] = {
        "digital I/O", "relays",  "function generator", "three-phase generator", "oscilloscope",
        "multimeter",  "counter", "hand-held meter"};
    return type >= 1 && type <= 8 ? names[type - 1] : "unknown instrument";
}

std::string Hex(const Bytes& bytes) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
        s += buf;
    }
    return s;
}

std::vector<std::string> SplitFields(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        size_t at = text.find(separator, from);
        parts.push_back(text.substr(from, at - from));
        if (at == std::string::npos) {
            return parts;
        }
        from = at + 1;
    }
}

bool ParseFault(const std::string& textIn, uint8_t& command, Fault& fault, std::string& error) {
    std::string text = textIn;
    fault = Fault{};
    if (size_t x = text.rfind('x');
        x != std::string::npos && x > 2 && x + 1 < text.size() &&
        text.find_first_not_of("0123456789", x + 1) == std::string::npos) {
        fault.count = std::atoi(text.c_str() + x + 1);
        text = text.substr(0, x);
    }
    size_t c1 = text.find(':');
    if (c1 == std::string::npos) {
        error = "expected COMMAND:KIND[:ARG][xCOUNT]";
        return false;
    }
    char* end = nullptr;
    const std::string head = text.substr(0, c1);
    long cmd = std::strtol(head.c_str(), &end, 0);
    if (head.empty() || *end || cmd < 0 || cmd > 255) {
        error = "the command is a byte, such as 0x0e";
        return false;
    }
    command = static_cast<uint8_t>(cmd);
    std::string rest = text.substr(c1 + 1);
    std::string kind = rest.substr(0, rest.find(':'));
    if (rest.find(':') != std::string::npos) {
        std::string arg = rest.substr(rest.find(':') + 1);
        long v = std::strtol(arg.c_str(), &end, 0);
        if (*end || arg.empty() || v < 0 || v > 1000000) {
            error = "the argument is a number";
            return false;
        }
        fault.arg = static_cast<int>(v);
    }
    static const std::pair<const char*, FaultKind> kinds[] = {
        {"no-reply", FaultKind::NoReply},   {"short", FaultKind::ShortReply},
        {"wrong-ack", FaultKind::WrongAck}, {"garbage", FaultKind::Garbage},
        {"delay", FaultKind::Delay},        {"hangup", FaultKind::HangUp}};
    for (const auto& k : kinds) {
        if (kind == k.first) {
            fault.kind = k.second;
            if (fault.kind == FaultKind::Garbage && fault.arg == 0) {
                fault.arg = 3;
            }
            return true;
        }
    }
    error =
        "unknown fault kind '" + kind + "' (no-reply, short, wrong-ack, garbage, delay, hangup)";
    return false;
}

Box::Box(BoxConfig config) : m_config(std::move(config)) {
    AddCommand(0x02, "identify", 0, [this](uint8_t, const Bytes&, Bytes& reply) {
        std::string id = Identity();
        reply.assign(id.begin(), id.end());
        reply.push_back(0);
    });
    AddCommand(0x0B, "model query", 0, [this](uint8_t, const Bytes&, Bytes& reply) {
        reply.push_back(m_config.oldBox ? kUnknown : static_cast<uint8_t>(m_config.model));
    });
    AddCommand(0x0E, "announce instrument", 1, [this](uint8_t, const Bytes& op, Bytes& reply) {
        bool ok = op[0] >= 1 && op[0] <= 8;
        if (ok) {
            m_announced.push_back(op[0]);
        }
        reply.push_back(ok ? kAck : kUnknown);
    });
    AddCommand(0x0F, "release instrument", 1, [this](uint8_t, const Bytes& op, Bytes& reply) {
        bool ok = op[0] >= 1 && op[0] <= 8;
        for (size_t i = 0; ok && i < m_announced.size(); ++i) {
            if (m_announced[i] == op[0]) {
                m_announced.erase(m_announced.begin() + static_cast<long>(i));
                break;
            }
        }
        reply.push_back(ok ? kAck : kUnknown);
    });
    AddCommand(0x11, "closing command", 0,
               [this](uint8_t, const Bytes&, Bytes&) { m_bClosed = true; });
    m_analog = std::make_unique<Analog>(*this, m_config.fast);
    m_generators = std::make_unique<Generators>(*this, *m_analog);
    m_digital = std::make_unique<Digital>(*this, m_config.fast);
    m_handheld = std::make_unique<Handheld>(*this);
}

Box::~Box() = default;

std::string Box::Identity() const {
    if (!m_config.identity.empty()) {
        return m_config.identity;
    }
    // The version number stands from character 18 on.
    std::string name = m_config.model == 2 ? "KX7710-3B2" : "KX7710-3B";
    name += " Vers.";
    name.resize(18, ' ');
    return name + std::to_string(m_config.version) + " KOBALTIX Interface";
}

void Box::AddCommand(uint8_t command, const std::string& name, size_t operands, Handler handler) {
    AddCommand(command, name, Need([operands](const Bytes&) { return operands; }),
               std::move(handler));
}

void Box::AddCommand(uint8_t command, const std::string& name, Need need, Handler handler) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_commands[command] = {name, std::move(need), std::move(handler)};
}

void Box::AddFault(uint8_t command, Fault fault) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[command].push_back(fault);
}

void Box::ClearFaults() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
}

std::vector<std::string> Box::Log() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

std::vector<uint8_t> Box::Commands() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

std::vector<std::pair<uint8_t, std::string>> Box::KnownCommands() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::pair<uint8_t, std::string>> known;
    for (const auto& [code, command] : m_commands) {
        known.emplace_back(code, command.name);
    }
    return known;
}

std::vector<int> Box::Announced() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_announced;
}

void Box::AddLog(const std::string& line) {
    m_log.push_back(line);
}

Output Box::Feed(const uint8_t* data, size_t count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Output out;
    for (size_t i = 0; i < count && !out.hangUp; ++i) {
        uint8_t b = data[i];
        if (m_dataHandler) {
            m_data.push_back(b);
            if (m_data.size() >= m_nDataCount) {
                CompleteData(out);
            }
            continue;
        }
        if (!m_bInCommand) {
            auto it = m_commands.find(b);
            if (it == m_commands.end()) {
                // Operands of a command it does not know cannot be told
                // apart: every such byte is answered.
                char buf[64];
                std::snprintf(buf, sizeof buf, "0x%02X unknown command -> ?", b);
                AddLog(buf);
                m_received.push_back(b);
                out.bytes.push_back(kUnknown);
                continue;
            }
            m_bInCommand = true;
            m_byCommand = b;
            m_operands.clear();
        } else {
            m_operands.push_back(b);
        }
        if (m_commands[m_byCommand].need(m_operands) <= m_operands.size()) {
            Complete(out);
        }
    }
    return out;
}

void Box::Complete(Output& out) {
    m_bInCommand = false;
    Command& c = m_commands[m_byCommand];
    m_received.push_back(m_byCommand);
    Bytes reply;
    m_strDetail.clear();
    c.handler(m_byCommand, m_operands, reply);
    char head[32];
    std::snprintf(head, sizeof head, "0x%02X ", m_byCommand);
    std::string line = head + c.name;
    if (!m_strDetail.empty()) {
        line += " " + m_strDetail;
    }
    if (!m_operands.empty()) {
        line += m_operands.size() <= 8 ? " [" + Hex(m_operands) + "]"
                                       : " [" + std::to_string(m_operands.size()) + " bytes]";
    }
    if ((m_byCommand == 0x0E || m_byCommand == 0x0F) && !m_operands.empty()) {
        line += " (" + InstrumentName(m_operands[0]) + ")";
    }
    ApplyFaults(m_byCommand, reply, out);
    // A host that did not get its "!" sends no data.
    if (m_dataHandler && (out.hangUp || reply.empty() || reply[0] != kAck)) {
        m_dataHandler = nullptr;
    }
    if (out.hangUp) {
        line += " -> line dropped";
    } else if (reply.empty()) {
        line += " -> no reply";
    } else if (m_byCommand == 0x02) {
        line += " -> \"" + Identity() + "\"";
    } else if (reply.size() <= 8) {
        line += " -> " + Hex(reply);
    } else {
        line += " -> " + std::to_string(reply.size()) + " bytes";
    }
    AddLog(line);
    out.bytes.insert(out.bytes.end(), reply.begin(), reply.end());
}

void Box::ExpectData(size_t count, Handler handler) {
    m_nDataCount = count;
    m_data.clear();
    m_dataHandler = std::move(handler);
}

void Box::CompleteData(Output& out) {
    Handler handler = std::move(m_dataHandler);
    m_dataHandler = nullptr;
    Bytes reply;
    m_strDetail.clear();
    handler(m_byCommand, m_data, reply);
    char head[48];
    std::snprintf(head, sizeof head, "0x%02X data [%zu bytes]", m_byCommand, m_data.size());
    std::string line = head;
    if (!m_strDetail.empty()) {
        line += " " + m_strDetail;
    }
    ApplyFaults(m_byCommand, reply, out);
    line += out.hangUp ? " -> line dropped" : reply.empty() ? " -> no reply" : " -> " + Hex(reply);
    AddLog(line);
    out.bytes.insert(out.bytes.end(), reply.begin(), reply.end());
}

void Box::ApplyFaults(uint8_t command, Bytes& reply, Output& out) {
    auto it = m_faults.find(command);
    if (it == m_faults.end()) {
        return;
    }
    for (Fault& f : it->second) {
        if (f.count == 0) {
            continue;
        }
        if (f.count > 0) {
            --f.count;
        }
        switch (f.kind) {
        case FaultKind::NoReply:
            reply.clear();
            break;
        case FaultKind::ShortReply:
            if (reply.size() > static_cast<size_t>(f.arg)) {
                reply.resize(static_cast<size_t>(f.arg));
            }
            break;
        case FaultKind::WrongAck:
            for (auto& b : reply) {
                if (b == kAck) {
                    b = static_cast<uint8_t>(f.arg ? f.arg : 0x15);
                }
            }
            if (reply.empty()) {
                reply.push_back(static_cast<uint8_t>(f.arg ? f.arg : 0x15));
            }
            break;
        case FaultKind::Garbage:
            for (int k = 0; k < f.arg; ++k) {
                reply.push_back(static_cast<uint8_t>(0xA5 ^ (k * 0x3B)));
            }
            break;
        case FaultKind::Delay:
            out.delayMs += f.arg;
            break;
        case FaultKind::HangUp:
            reply.clear();
            out.hangUp = true;
            break;
        }
    }
}

} // namespace kobsim
