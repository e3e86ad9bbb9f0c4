// The host's resources on POSIX: a folder "KobPanels" of files,
// <type>/<id>.bin for custom types, bitmap/<id>.png, cursor/, icon/ and
// strings.txt (lines "<id> <langid> <text>").

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "framework/wstr.h"
#include "platform/profile/profile.h"
#include "platform/resource/resource.h"
#include "platform/resource/resource_files.h"
#include "platform/ui/ui.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr uintmax_t kMaxResourceFile = 64u << 20;
constexpr uint16_t kEnglish = 1033;

struct Module {
    std::mutex mutex;
    fs::path folder;
    // id -> langid -> text, read on first use.
    std::map<uint32_t, std::map<uint16_t, std::u16string>> strings;
    bool stringsRead = false;
};

Module& Current() {
    static Module* m = new Module; // lives as long as the process
    return *m;
}

fs::path Folder() {
    Module& m = Current();
    std::lock_guard<std::mutex> lock(m.mutex);
    return m.folder;
}

std::u16string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char c = text[++i];
            out += c == 'n' ? '\n' : c;
        } else {
            out += text[i];
        }
    }
    return Widen(out);
}

void ReadStrings(Module& m) {
    m.stringsRead = true;
    std::ifstream in(m.folder / "strings.txt", std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::istringstream fields(line);
        unsigned long id = 0, lang = 0;
        if (!(fields >> id >> lang) || lang == 0 || lang > 0xFFFF || id > 0xFFFFFFFFul) {
            continue; // not a text line
        }
        std::string text;
        std::getline(fields, text);
        if (!text.empty() && text.front() == ' ') {
            text.erase(0, 1);
        }
        m.strings[static_cast<uint32_t>(id)][static_cast<uint16_t>(lang)] = Unescape(text);
    }
}

uint16_t WantedLanguage() {
    int lang = ProfileGetInt("Settings", "LangID", 0);
    if (lang > 0 && lang <= 0xFFFF) {
        return static_cast<uint16_t>(lang);
    }
    uint16_t user = UserLanguage();
    return user ? user : kEnglish;
}

fs::path ProgramFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

} // namespace

bool SetResourceModule(const std::u16string& path) {
    std::error_code ec;
    fs::path folder = fs::absolute(fs::path(Narrow(path)), ec);
    if (path.empty() || ec || !fs::is_directory(folder, ec)) {
        return false;
    }
    Module& m = Current();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.folder = folder;
    m.strings.clear();
    m.stringsRead = false;
    return true;
}

bool UseDefaultResourceModule() {
    if (const char* env = std::getenv("KOBLABVIEW_RESOURCES"); env && *env) {
        return SetResourceModule(Widen(env));
    }
    fs::path dir = ProgramFolder();
    for (int up = 0; up <= 3 && !dir.empty(); ++up, dir = dir.parent_path()) {
        if (SetResourceModule(Widen((dir / "KobPanels").string()))) {
            return true;
        }
        if (dir == dir.root_path()) {
            break;
        }
    }
    return false;
}

bool HasResourceModule() {
    return !Folder().empty();
}

std::optional<std::vector<uint8_t>> LoadResourceFile(const std::string& relative) {
    fs::path folder = Folder();
    if (folder.empty()) {
        return std::nullopt;
    }
    fs::path file = folder / relative;
    std::error_code ec;
    uintmax_t size = fs::file_size(file, ec);
    if (ec || size > kMaxResourceFile || !fs::is_regular_file(file, ec)) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::vector<uint8_t>> LoadResourceData(uint16_t type, uint16_t id) {
    return LoadResourceFile(type == kBitmapResourceType
                                ? "bitmap/" + std::to_string(id) + ".png"
                                : std::to_string(type) + "/" + std::to_string(id) + ".bin");
}

void* NativeResourceModule() {
    return nullptr;
}

// The wanted language, else another of the same primary language, else
// English.
std::u16string LoadResourceString(uint32_t id) {
    uint16_t lang = WantedLanguage();
    Module& m = Current();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (m.folder.empty()) {
        return {};
    }
    if (!m.stringsRead) {
        ReadStrings(m);
    }
    auto texts = m.strings.find(id);
    if (texts == m.strings.end()) {
        return {};
    }
    if (auto exact = texts->second.find(lang); exact != texts->second.end()) {
        return exact->second;
    }
    for (const auto& [l, text] : texts->second) {
        if ((l & 0x3FF) == (lang & 0x3FF)) {
            return text;
        }
    }
    auto english = texts->second.find(kEnglish);
    return english == texts->second.end() ? std::u16string() : english->second;
}

} // namespace platform
