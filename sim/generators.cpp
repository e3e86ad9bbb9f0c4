#include "sim/generators.h"

#include <cmath>
#include <numbers>
#include <numeric>
#include <string>

#include "sim/box.h"

namespace kobsim {

namespace {

constexpr uint8_t kAck = 0x21;
constexpr size_t kShapePoints = 8192;
constexpr size_t kP3Points = 257;
constexpr double kP3FullScale = 10.0;

using Table = std::shared_ptr<const std::vector<double>>;

Table Shape(double (*f)(double phase, double width), double width = 0.5) {
    auto t = std::make_shared<std::vector<double>>(kShapePoints);
    for (size_t i = 0; i < kShapePoints; ++i) {
        (*t)[i] = f(static_cast<double>(i) / kShapePoints, width);
    }
    return t;
}

double Sine(double p, double) {
    return std::sin(2 * std::numbers::pi * p);
}
double Sine3(double p, double) {
    return Sine(p, 0) + std::sin(6 * std::numbers::pi * p) / 3;
}
double Triangle(double p, double) {
    return p < 0.25 ? 4 * p : p < 0.75 ? 2 - 4 * p : 4 * p - 4;
}
double Pulse(double p, double width) {
    return p < width ? 1.0 : -1.0;
}
double Ttl(double p, double) {
    return p < 0.5 ? 1.0 : 0.0;
}
double Level(double, double level) {
    return level;
}

double FullScale(uint8_t range) {
    return range == 1 ? 1.0 : range == 2 ? 0.1 : 10.0;
}

Signal Played(const Table& table, double hertz, double volts) {
    Signal s;
    s.kind = Signal::Kind::Table;
    s.frequency = hertz;
    s.amplitude = volts;
    s.table = table;
    if (table && !table->empty()) {
        s.tableMean = std::accumulate(table->begin(), table->end(), 0.0) / table->size();
    }
    return s;
}

uint16_t Word(const Bytes& op, size_t at) {
    return static_cast<uint16_t>((op[at] << 8) | op[at + 1]);
}

std::string Hz(double hertz) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g Hz", hertz);
    return buf;
}

} // namespace

Generators::Generators(Box& box, Analog& analog)
    : m_box(box), m_analog(analog), m_nModel(box.Config().model) {
    AddFuncGen();
    AddThreePhase();
}

Generators::FuncGen Generators::GetFuncGen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fg;
}

Generators::ThreePhase Generators::GetThreePhase() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_p3;
}

void Generators::AddFuncGen() {
    // Every setting: its operands, the change, a word for the log, "!".
    auto setting = [this](uint8_t cmd, const char* name, size_t operands,
                          void (*apply)(FuncGen&, const Bytes&, std::string&)) {
        m_box.AddCommand(cmd, name, operands,
                         [this, apply](uint8_t, const Bytes& op, Bytes& reply) {
                             std::lock_guard<std::mutex> lock(m_mutex);
                             std::string detail;
                             apply(m_fg, op, detail);
                             m_box.Detail(detail);
                             Wire();
                             reply.push_back(kAck);
                         });
    };
    setting(0xC0, "function generator on", 0,
            [](FuncGen& g, const Bytes&, std::string&) { g.on = true; });
    setting(0xC1, "function generator off", 0,
            [](FuncGen& g, const Bytes&, std::string&) { g.on = false; });
    if (m_nModel == 2) {
        setting(0xC2, "function generator timing", 5,
                [](FuncGen& g, const Bytes& op, std::string& d) {
                    const double product = static_cast<double>(Word(op, 0)) * Word(op, 2);
                    g.hertz = product > 0 ? 80e6 / product : 0.0;
                    d = Hz(g.hertz);
                });
        setting(0xCA, "function generator frequency", 4,
                [](FuncGen& g, const Bytes& op, std::string& d) {
                    const double tenths =
                        op[0] * 16777216.0 + op[1] * 65536.0 + op[2] * 256.0 + op[3];
                    const double periods = tenths > 0 ? std::round(800e6 / tenths) : 0.0;
                    g.hertz = periods > 0 ? 80e6 / periods : 0.0;
                    d = Hz(g.hertz);
                });
    } else {
        setting(0xC2, "function generator timing", 5,
                [](FuncGen& g, const Bytes& op, std::string& d) {
                    const double p = Word(op, 0);
                    const double n1 = Word(op, 2) + 1.0;
                    const double fine = op[4];
                    const double samples = fine ? p + p / fine : p;
                    g.hertz = samples > 0 ? 32e6 / samples / n1 : 0.0;
                    d = Hz(g.hertz);
                });
    }
    setting(0xC3, "function generator amplitude", 1,
            [](FuncGen& g, const Bytes& op, std::string& d) {
                g.amplitude = op[0];
                d = std::to_string(op[0]) + "/255";
            });
    setting(0xC4, "function generator waveform", 1,
            [](FuncGen& g, const Bytes& op, std::string& d) {
                g.function = op[0];
                d = std::to_string(op[0]);
            });
    setting(0xC6, "function generator output range", 1,
            [](FuncGen& g, const Bytes& op, std::string&) { g.range = op[0]; });
    setting(0xC9, "function generator pulse width", 1,
            [](FuncGen& g, const Bytes& op, std::string&) { g.pulseWidth = op[0]; });

    // The table: its header is acknowledged, then its samples.
    const bool wide = m_nModel == 2;
    m_box.AddCommand(wide ? 0xCB : 0xC5, "function generator table", 2,
                     [this, wide](uint8_t, const Bytes& op, Bytes& reply) {
                         const uint16_t count = Word(op, 0);
                         m_box.Detail(std::to_string(count) + " samples");
                         reply.push_back(kAck);
                         auto take = [this, wide](uint8_t, const Bytes& data, Bytes& dataReply) {
                             const size_t n = wide ? data.size() / 2 : data.size();
                             auto t = std::make_shared<std::vector<double>>(n);
                             for (size_t i = 0; i < n; ++i) {
                                 (*t)[i] = wide ? static_cast<int16_t>(Word(data, 2 * i)) / 511.0
                                                : data[i] / 255.0 * 2.0 - 1.0;
                             }
                             std::lock_guard<std::mutex> lock(m_mutex);
                             m_fg.table = std::move(t);
                             m_fg.function = 7; // a table plays once it is there
                             Wire();
                             dataReply.push_back(kAck);
                         };
                         if (count == 0) {
                             Bytes none;
                             take(0, none, reply);
                         } else {
                             m_box.ExpectData(size_t{count} * (wide ? 2 : 1), take);
                         }
                     });
}

void Generators::AddThreePhase() {
    auto setting = [this](uint8_t cmd, const char* name, size_t operands,
                          void (*apply)(ThreePhase&, const Bytes&)) {
        m_box.AddCommand(cmd, name, operands,
                         [this, apply](uint8_t, const Bytes& op, Bytes& reply) {
                             std::lock_guard<std::mutex> lock(m_mutex);
                             apply(m_p3, op);
                             Wire();
                             reply.push_back(kAck);
                         });
    };
    setting(0x40, "three-phase on", 0, [](ThreePhase& g, const Bytes&) { g.on = true; });
    setting(0x41, "three-phase off", 0, [](ThreePhase& g, const Bytes&) { g.on = false; });
    setting(0x43, "three-phase clock", 1, [](ThreePhase& g, const Bytes& op) { g.clock = op[0]; });
    setting(0x44, "three-phase frequency", 1,
            [](ThreePhase& g, const Bytes& op) { g.frequency = op[0]; });
    setting(0x45, "three-phase amplitudes", 3, [](ThreePhase& g, const Bytes& op) {
        for (int i = 0; i < 3; ++i) {
            g.amplitude[i] = op[i];
        }
    });
    setting(0x47, "three-phase phases", 4, [](ThreePhase& g, const Bytes& op) {
        g.phase[0] = Word(op, 0);
        g.phase[1] = Word(op, 2);
    });
    setting(0x48, "three-phase waveform", 1,
            [](ThreePhase& g, const Bytes& op) { g.function = op[0]; });
    setting(0x49, "three-phase table", 1 + 2 * kP3Points, [](ThreePhase& g, const Bytes& op) {
        auto t = std::make_shared<std::vector<double>>(kP3Points);
        for (size_t i = 0; i < kP3Points; ++i) {
            (*t)[i] = -static_cast<int16_t>(Word(op, 1 + 2 * i)) / 512.0;
        }
        g.table = std::move(t);
        g.function = 7; // a table plays once it is there
    });
    setting(0x4A, "three-phase DC mode", 1,
            [](ThreePhase& g, const Bytes& op) { g.dcMode = op[0]; });
    setting(0x4B, "three-phase phase switches", 3, [](ThreePhase& g, const Bytes& op) {
        for (int i = 0; i < 3; ++i) {
            g.switches[i] = op[i];
        }
    });
}

void Generators::Wire() {
    if (m_fg.on) {
        Table shape;
        switch (m_fg.function) {
        case 0:
            shape = Shape(Sine);
            break;
        case 1:
            shape = Shape(Triangle);
            break;
        case 2:
            shape = Shape(Pulse);
            break;
        case 3:
            shape = Shape(Ttl);
            break;
        case 4:
            shape = Shape(Level, 1.0);
            break;
        case 5:
            shape = Shape(Level, -1.0);
            break;
        case 8:
        case 9:
            shape = Shape(Pulse, m_fg.pulseWidth / 255.0);
            break;
        default: // 6 and 7: the table the box holds
            shape = m_fg.table;
            break;
        }
        if (!m_bDrivingA) {
            m_savedA = m_analog.GetSignal('A');
            m_bDrivingA = true;
        }
        m_analog.SetSignal(
            'A', Played(shape, m_fg.hertz, FullScale(m_fg.range) * m_fg.amplitude / 255.0));
    } else if (m_bDrivingA) {
        m_analog.SetSignal('A', m_savedA);
        m_bDrivingA = false;
    }

    if (m_p3.on) {
        static const Table sine = Shape(Sine), sine3 = Shape(Sine3), rect = Shape(Pulse),
                           pulse = Shape(Pulse, 1.0 / 3), up = Shape(Level, 1.0),
                           down = Shape(Level, -1.0);
        const Table shapes[] = {sine, sine3, rect, pulse, up, down, m_p3.table, m_p3.table};
        Table shape = m_p3.function < 8 ? shapes[m_p3.function] : sine;
        double volts = kP3FullScale * m_p3.amplitude[0] / 255.0;
        if (m_p3.dcMode && !m_p3.switches[0]) {
            volts = 0.0;
        }
        if (!m_bDrivingB) {
            m_savedB = m_analog.GetSignal('B');
            m_bDrivingB = true;
        }
        m_analog.SetSignal('B', Played(shape, m_p3.frequency, volts));
    } else if (m_bDrivingB) {
        m_analog.SetSignal('B', m_savedB);
        m_bDrivingB = false;
    }
}

} // namespace kobsim
