// Placeholder backend until the platform windows land: no window can be
// made, and there are no messages to pump.
#include "platform/resource/resource.h"
#include "platform/window/window.h"

namespace platform {

std::unique_ptr<Window> Window::Create(WindowHandler&, WindowStyle, Window*) {
    return nullptr;
}
bool PumpMessages() {
    return true;
}
void RunMessageLoop() {}
void PostQuit() {}
int32_t DialogFrameWidth() {
    return 3;
}
int32_t CaptionHeight() {
    return 19;
}
void UseOffscreenWindows(bool) {}
bool OffscreenWindows() {
    return true;
}

std::shared_ptr<Image> LoadBitmapResource(uint16_t) {
    return nullptr;
}
std::shared_ptr<Image> LoadImageFile(const std::u16string&) {
    return nullptr;
}
std::unique_ptr<PictureGfx> CreatePicture(int32_t, int32_t) {
    return nullptr;
}
bool WritePng(const Pixels&, const std::u16string&) {
    return false;
}

bool SetResourceModule(const std::u16string&) {
    return false;
}
bool UseDefaultResourceModule() {
    return false;
}
bool HasResourceModule() {
    return false;
}
std::optional<std::vector<uint8_t>> LoadResourceData(uint16_t, uint16_t) {
    return std::nullopt;
}
void* NativeResourceModule() {
    return nullptr;
}
std::u16string LoadResourceString(uint32_t) {
    return {};
}

} // namespace platform
