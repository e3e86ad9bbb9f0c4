// The meter windows (types 61-69): a pointer instrument and a digital
// display showing a voltage of input A or B, or a quantity derived from
// the readings of both.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "instruments/meter/meter.h"
#include "vi/basevi.h"

class CHotGauge;
class CHotGauge1;
class CHotMeterLcd;

// Control ids of the meter panels.
enum MeterControlId : uint32_t {
    kIdMeterGauge = 5600,  // the voltage of the window's channel
    kIdMeterGauge1 = 5601, // the derived quantity
    kIdMeterLcd = 5602,
    kIdRangeDown = 5610, // the window's channel (both for the SWR meter)
    kIdRangeUp = 5611,
    kIdRangeDownB = 5612, // input B of the power meter
    kIdRangeUpB = 5613,
    kIdCoupling = 5620,  // + coupling code (0 DC, 1 AC, 2 ground)
    kIdCouplingB = 5623, // input B of the power meter
    kIdReading = 5630,   // + mean, RMS, peak to peak
    kIdShunt = 5640,     // + the shunts of kShunts
    kIdReference = 5645, // + dBV, dBu
};

// The shunts the ammeter's buttons choose, in ohms.
inline constexpr double kShunts[] = {0.1, 1.0, 10.0, 100.0};

// A value with an SI prefix chosen so that at most three digits stand
// before the point, four significant digits: 0.01234 V -> "12.34", "mV".
// NaN gives "----" and the plain unit.
void FormatSi(double value, const std::u16string& unit, std::u16string& text,
              std::u16string& prefixed);

class CMeterBaseVI : public CBaseVI {
public:
    // channels: bit 0 input A, bit 1 input B, the inputs its range and
    // coupling controls set; readings: the record indices its reading
    // buttons choose (the first when it has none).
    CMeterBaseVI(CKobDevice* meter, uint32_t channels, std::initializer_list<int> readings);
    ~CMeterBaseVI() override;

    bool Init() override;
    bool PollDevices(CStreamIO* stream) override;
    void Update(uintptr_t wParam, intptr_t lParam) override;
    bool OnCommand(uint32_t id) override;
    void OnDestroy() override;
    void Serialize(CArchive& ar) override;

    // The record index of the chosen reading.
    int ReadingIndex() const;

    CKobMeter* m_pMeter;
    uint32_t m_nChannels;
    std::vector<int> m_aReadings;
    // Choices kept with the workspace: the reading, and the dB meter's
    // reference (0 dBV, 1 dBu).
    uint32_t m_nReading = 0;
    uint32_t m_nReference = 0;
    // The input whose shunt the shunt buttons set (0: none).
    uint32_t m_nShuntChannel = 0;
    CHotGauge* m_pGauge = nullptr;
    CHotGauge1* m_pGauge1 = nullptr;
    CHotMeterLcd* m_pLcd = nullptr;

protected:
    // Shows what the window derives from the readings of A and B.
    virtual void Show(const MeterRecord& a, const MeterRecord& b) = 0;
    // Reads both records whole, shows them, redraws the displays.
    void Refresh();
    void SetLcd(const std::u16string& value, const std::u16string& unit);
    void SetGauge1(double value, double low, double high, const std::u16string& caption);
    // The full scale in volts of an input's range; NaN for a row outside
    // the table.
    static double FullScale(bool channelA);
    static bool Over(bool channelA);
    // The voltage gauge follows the range and reading of its channel.
    void ConfigureGauge();
    void StepRange(uint32_t channels, int delta);
    void SetCoupling(uint32_t channels, uint32_t coupling);
    void MarkChoices();

private:
    bool m_bCounted = false;
    // The records last seen by the worker's poll (worker thread only).
    MeterRecord m_SeenA;
    MeterRecord m_SeenB;
};
