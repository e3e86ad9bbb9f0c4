// Connection set-up: the dialog that asks the user what to do when no box
// could be reached on the chosen line.
#pragma once

#include <cstdint>

#include "platform/ui/ui.h"

// End codes of the dialog.
inline constexpr int kInitExit = 2;
inline constexpr int kInitRepeat = 4;
inline constexpr int kInitSimulate = 6;

class CInitFailedDlg {
public:
    CInitFailedDlg(uint8_t allowSimulation, uint8_t notOpened, uint8_t offersUsb, uint8_t withExit);
    // Shows the dialog through the user-interface handler; "Repeat
    // Initialising" stores the chosen line as "Port".
    int DoModal();
    // What the dialog shows: probes COM1-COM4 and fills the line list.
    platform::InitFailedRequest BuildRequest() const;

    uint8_t m_bOffersUsb;
    uint8_t m_bNotOpened;
    uint8_t m_bAllowSimulation;
    uint8_t m_bWithExit;
    int m_nPort; // 0-3 serial ports, 4 USB
};
