// The digital I/O window (types 11-14, 21, 22) with the digital port and relay models.
#pragma once

class CBaseVI;
class CKobDevice;

CBaseVI* CreateDigVI(CKobDevice* digio, CKobDevice* relays);
