// The hand-held meter on the box's pass-through port: one of three families,
// each answering its own read command with its own record. The reading is
// set from outside (mode, range, the digits shown, over-range); without one
// the meter answers "no reading".
//
// How the meter behaves where the host leaves it open:
// - the value is the digits the meter shows, left to right; the point is
//   the range's business, so "1.2345" and "12345" give the same record;
// - over-range shows "0L" (family 1: the first digit's nibble is 0x0A);
// - a read command of another family gets that family's "no reading".
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kobsim {

class Box;

struct HandheldReading {
    uint8_t mode = 1;
    uint8_t range = 0;
    std::string value; // the digits shown, with an optional sign and point
    bool over = false;
};

// "MODE:RANGE:VALUE[:over]".
bool ParseHandheldReading(const std::string& text, HandheldReading& reading, std::string& error);

class Handheld {
public:
    explicit Handheld(Box& box);

    void SetFamily(int family); // 1, 2 or 3
    void SetReading(const std::optional<HandheldReading>& reading);

private:
    // The record a read command of the family gets (under m_mutex).
    std::vector<uint8_t> Record(int family) const;

    mutable std::mutex m_mutex;
    int m_nFamily = 1;
    std::optional<HandheldReading> m_reading;
};

} // namespace kobsim
