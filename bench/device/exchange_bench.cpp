// Command exchanges per second on the serial stream over a pseudo-terminal,
// beside a bare echo over the same kind of line; and the USB transfers one
// exchange costs, beside the minimum of one write and one read.
#include <benchmark/benchmark.h>

#include <atomic>
#include <poll.h>
#include <thread>
#include <unistd.h>

#include "device/exchange.h"
#include "device/stream.h"
#include "sim/box.h"
#include "sim/inprocess.h"
#include "support/pty_peer.h"
#include "support/ratio_report.h"
#include "support/temp_profile.h"

namespace {

// Plays the box on the master side until stopped.
class BoxOnPty {
public:
    explicit BoxOnPty(PtyPeer& peer) : m_peer(peer), m_thread([this] { Serve(); }) {}
    ~BoxOnPty() {
        m_stop = true;
        m_thread.join();
    }

private:
    void Serve() {
        kobsim::Box box;
        uint8_t buf[256];
        while (!m_stop) {
            pollfd p{m_peer.MasterFd(), POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) {
                continue;
            }
            ssize_t n = read(m_peer.MasterFd(), buf, sizeof buf);
            if (n <= 0) {
                continue;
            }
            kobsim::Output out = box.Feed(buf, static_cast<size_t>(n));
            (void)!write(m_peer.MasterFd(), out.bytes.data(), out.bytes.size());
        }
    }
    PtyPeer& m_peer;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Baseline: one byte out and one back over a raw pseudo-terminal, no stream.
void BM_RawPtyEcho(benchmark::State& state) {
    PtyPeer peer;
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        uint8_t b;
        while (!stop) {
            pollfd p{peer.MasterFd(), POLLIN, 0};
            if (poll(&p, 1, 50) > 0 && read(peer.MasterFd(), &b, 1) == 1) {
                (void)!write(peer.MasterFd(), &b, 1);
            }
        }
    });
    int fd = peer.SlaveFd();
    uint8_t b = 0x0B;
    for (auto _ : state) {
        (void)!write(fd, &b, 1);
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, 1000);
        (void)!read(fd, &b, 1);
    }
    stop = true;
    echo.join();
}

// The model query through CStreamCOM and the exchange functions.
void BM_SerialModelQuery(benchmark::State& state) {
    PtyPeer peer;
    TempProfile profile("kob-bench");
    profile.Set("Settings", "Port", "4");
    profile.Set("Ports", "COM4", peer.Path());
    BoxOnPty box(peer);
    CStreamCOM stream;
    if (!stream.Open()) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    for (auto _ : state) {
        WriteByte(stream, 0x0B);
        benchmark::DoNotOptimize(ReadByte(stream));
    }
    stream.Close();
}

// The announcement of an instrument (command, type, acknowledgement) over
// the USB pipes: transfers per exchange, the minimum being 1 write + 1 read.
void BM_UsbAnnounce(benchmark::State& state) {
    kobsim::InProcessBox box;
    box.AttachUsb();
    CKobUsb stream;
    if (!stream.Open()) {
        state.SkipWithError("cannot open the simulated pipes");
        return;
    }
    int writes = box.UsbWrites();
    int reads = box.UsbReads();
    for (auto _ : state) {
        uint8_t cmd[2] = {0x0E, 0x05};
        stream.Write(cmd, 2);
        CheckAck(stream);
    }
    double n = static_cast<double>(state.iterations());
    state.counters["writes/exchange"] = (box.UsbWrites() - writes) / n;
    state.counters["reads/exchange"] = (box.UsbReads() - reads) / n;
    stream.Close();
}

} // namespace

BENCHMARK(BM_RawPtyEcho)->UseRealTime();
BENCHMARK(BM_SerialModelQuery)->UseRealTime();
BENCHMARK(BM_UsbAnnounce)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios({{"BM_SerialModelQuery/real_time", "BM_RawPtyEcho/real_time"}},
                         "serial exchange time against a bare pty echo");
    std::puts("USB: minimum is 1 write and 1 read per exchange (see counters above)");
    benchmark::Shutdown();
    return 0;
}
