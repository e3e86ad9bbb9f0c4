// Whatever a workspace file holds, loading it opens its windows or throws a
// CArchiveException with no window opened; what loads stores again into
// bytes that load and store back unchanged.
//
// The input is the file ("MTVI"); the windows' panels are the real ones.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "device/kobface.h"
#include "framework/exception.h"
#include "fuzz/vi/offscreen.h"
#include "platform/thread/thread.h"
#include "vi/basevi.h"

namespace {

// The registry without its worker: the windows are only loaded and stored.
struct Registry : CKobface {
    int Run() override {
        while (m_nRunRequests > 0) {
            platform::SleepMs(1);
        }
        return 0;
    }
    ~Registry() override {
        CloseAllWindows();
        ForceStopWorker();
    }
    bool Load(const std::vector<uint8_t>& file) {
        CArchive ar(file.data(), file.size());
        try {
            SerializeWorkspace(ar);
        } catch (const CArchiveException&) {
            if (!OpenWindows().empty()) {
                std::abort(); // a refused file opened windows
            }
            return false;
        }
        return true;
    }
    std::vector<uint8_t> Store() {
        std::vector<uint8_t> out;
        CArchive ar(out);
        SerializeWorkspace(ar);
        return out;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = UseOffscreenPanels();
    if (!ready) {
        std::abort(); // without the panels no window can open
    }
    std::vector<uint8_t> first;
    {
        Registry r;
        if (!r.Load(std::vector<uint8_t>(data, data + size))) {
            return 0;
        }
        first = r.Store();
    }
    Registry r;
    if (!r.Load(first)) {
        std::abort(); // what was stored does not load
    }
    if (r.Store() != first) {
        std::abort(); // storing what was loaded changed it
    }
    return 0;
}
