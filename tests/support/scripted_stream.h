// A stream for byte-exact wire tests: records what the host writes and
// plays back what the box would answer.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <initializer_list>
#include <vector>

#include "device/stream.h"
#include "framework/exception.h"
#include "support/bytes.h"

class ScriptedStream : public CStreamIO {
public:
    enum class Kind { open, closed };

    explicit ScriptedStream(Kind kind = Kind::open) : m_bOpen(kind == Kind::open) {}

    // Bytes the box will send, in order. They are still on their way until
    // the host next writes or reads, so a purge before the command that
    // provokes them does not lose them.
    void Reply(std::initializer_list<uint8_t> bytes) { Reply(Bytes(bytes)); }
    void Reply(const Bytes& bytes) {
        m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
    }
    void Reply(const char* text) {
        m_pending.insert(m_pending.end(), text, text + std::strlen(text));
    }
    // The next write throws this code.
    void FailNextWrite(uint32_t code) { m_nFailWrite = code; }
    // action runs once, as the first write that starts with command goes out
    // (another thread's click landing in the middle of an exchange).
    void OnWrite(uint8_t command, std::function<void()> action) {
        m_hookCommand = command;
        m_hook = std::move(action);
    }

    // Everything written so far, and each write on its own.
    const Bytes& Written() const { return m_written; }
    const std::vector<Bytes>& Writes() const { return m_writes; }
    // What was sent between BeginBlock and EndBlock, one entry per block.
    const std::vector<Bytes>& Blocks() const { return m_blocks; }
    void ClearWritten() {
        m_written.clear();
        m_writes.clear();
        m_blocks.clear();
    }
    // Writes are copied there as well (it outlives the stream).
    void MirrorWritesTo(Bytes* mirror) { m_pMirror = mirror; }
    size_t Unread() const { return m_input.size() + m_pending.size(); }
    int Purges() const { return m_nPurges; }

    bool Open() override {
        ++m_nOpenCount;
        return true;
    }
    void Close() override {
        if (m_nOpenCount > 0) {
            --m_nOpenCount;
        }
    }
    bool IsOpen() const override { return m_bOpen; }
    WString GetName() const override { return u"KX7710-3B"; }
    void Read(void* buffer, uint32_t count) override {
        Arrive();
        if (m_input.size() < count) {
            // As a serial line whose box stops answering: what came is
            // delivered, then the read fails.
            m_input.clear();
            ThrowCommException(20012);
        }
        auto* out = static_cast<uint8_t*>(buffer);
        for (uint32_t i = 0; i < count; ++i) {
            out[i] = m_input.front();
            m_input.pop_front();
        }
    }
    void Write(const void* buffer, uint32_t count) override {
        if (m_nFailWrite) {
            uint32_t code = m_nFailWrite;
            m_nFailWrite = 0;
            ThrowCommException(code);
        }
        Arrive();
        const auto* in = static_cast<const uint8_t*>(buffer);
        if (m_hook && count > 0 && in[0] == m_hookCommand) {
            std::function<void()> action = std::move(m_hook);
            m_hook = nullptr;
            action();
        }
        m_written.insert(m_written.end(), in, in + count);
        m_writes.emplace_back(in, in + count);
        if (m_pMirror) {
            m_pMirror->insert(m_pMirror->end(), in, in + count);
        }
        if (m_bInBlock) {
            m_blocks.back().insert(m_blocks.back().end(), in, in + count);
        }
    }
    void Purge() override {
        ++m_nPurges;
        m_input.clear();
    }
    uint32_t GetInQueue() override {
        Arrive();
        return static_cast<uint32_t>(m_input.size());
    }
    void BeginBlock() override {
        m_bInBlock = true;
        m_blocks.emplace_back();
    }
    void EndBlock() override { m_bInBlock = false; }
    bool Restart() override { return true; }

private:
    void Arrive() {
        m_input.insert(m_input.end(), m_pending.begin(), m_pending.end());
        m_pending.clear();
    }

    bool m_bOpen;
    bool m_bInBlock = false;
    std::deque<uint8_t> m_input;
    Bytes m_pending;
    Bytes m_written;
    std::vector<Bytes> m_writes;
    std::vector<Bytes> m_blocks;
    uint32_t m_nFailWrite = 0;
    int m_nPurges = 0;
    Bytes* m_pMirror = nullptr;
    uint8_t m_hookCommand = 0;
    std::function<void()> m_hook;
};
