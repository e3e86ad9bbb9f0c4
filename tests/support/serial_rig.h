// A serial line for tests on POSIX: COM3 of a profile of the test's own is
// a pseudo-terminal whose far end the test plays.
#pragma once

#include "support/pty_peer.h"
#include "support/temp_profile.h"

struct SerialRig {
    SerialRig() {
        profile.Set("Settings", "Port", "3");
        profile.Set("Ports", "COM3", peer.Path());
    }
    TempProfile profile;
    PtyPeer peer;
};
