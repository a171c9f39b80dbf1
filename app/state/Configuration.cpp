#include "Configuration.h"

#include <cstdio>
#include <cstring>

namespace {

std::string ReadValue(IProfileReader& profile, const char* section, const char* key,
                      const std::string& path) {
    char buffer[Configuration::kValueSize] = {};
    profile.ReadString(section, key, "", buffer, sizeof(buffer), path.c_str());
    buffer[sizeof(buffer) - 1] = '\0';
    return buffer;
}

// A switch is on only at exactly 1.
int ReadSwitch(IProfileReader& profile, const char* key, int defaultValue,
               const std::string& path) {
    return profile.ReadInt("SYSTEM", key, defaultValue, path.c_str()) == 1 ? 1 : 0;
}

// The folder ends in a backslash and the value is appended after one more,
// as the program has always formed these paths (Windows accepts the doubled
// separator). Cut to the 260-byte path buffers of the callers.
std::string JoinPath(const std::string& folder, const std::string& value) {
    std::string path = folder + "\\" + value;
    if (path.size() >= Configuration::kValueSize) {
        path.resize(Configuration::kValueSize - 1);
    }
    return path;
}

// Replaces *value with the user's value of name when it is readable and within
// lowest .. highest; notes what was left out.
void Override(IUserSettings& user, const char* name, unsigned int lowest, unsigned int highest,
              int* value, std::vector<std::string>& notes) {
    unsigned int number = 0;
    switch (user.ReadNumber(name, &number)) {
        case IUserSettings::Read::Missing:
            return;
        case IUserSettings::Read::Unreadable:
            notes.push_back(std::string("User setting ") + name + " is not a number: ignored");
            return;
        case IUserSettings::Read::Found:
            break;
    }
    if (number < lowest || number > highest) {
        notes.push_back(std::string("User setting ") + name + "=" + std::to_string(number) +
                        " is out of range: ignored");
        return;
    }
    *value = static_cast<int>(number);
}

}  // namespace

void Configuration::Load(IProfileReader& profile, const char* programFolder, IUserSettings* user) {
    const std::string folder = programFolder ? programFolder : "";
    m_filePath = JoinPath(folder, kFileName);
    const std::string& path = m_filePath;

    m_switches.fontSupport = profile.ReadInt("FONT", "NotSupportedFont", 0, path.c_str()) == 0;
    m_switches.supportSky = ReadSwitch(profile, "SupportSky", 1, path);
    m_switches.supportHideWindows = ReadSwitch(profile, "SupportHideWindows", 1, path);
    m_switches.supportAGC = ReadSwitch(profile, "SupportAGC", 0, path);
    m_switches.supportAutoRunSkype = ReadSwitch(profile, "SupportAutoRunSkype", 0, path);
    m_switches.supportAutoSwitchAudioDevice =
        ReadSwitch(profile, "SupportAutoSwitchAudioDevice", 0, path);
    m_switches.supportAutoSwitchSystemAudioDevice =
        ReadSwitch(profile, "SupportAutoSwitchSystemAudioDevice", 0, path);
    m_switches.supportFocusAddressBook = ReadSwitch(profile, "SupportFocusAddressBook", 0, path);
    m_switches.supportARF = ReadSwitch(profile, "SupportARF", 0, path);
    m_switches.supportLimitCalls = ReadSwitch(profile, "SupportLimitCalls", 0, path);

    m_reg04Value = static_cast<int>(profile.ReadInt("DEFAULT", "Reg04Value", 16, path.c_str()));
    m_reg1CValue = static_cast<int>(profile.ReadInt("DEFAULT", "Reg1CValue", 8, path.c_str()));
    const unsigned int logLevel = profile.ReadInt("SYSTEM", "LogLevel", 1, path.c_str());
    m_logLevel = logLevel > 2 ? 2 : static_cast<int>(logLevel);
    unsigned int rings = profile.ReadInt("RINGS", "NUMOFRINGS", 0, path.c_str());
    rings = rings > kMaxRings ? kMaxRings : rings;
    const unsigned int ring = profile.ReadInt("RINGS", "RING", 1, path.c_str());
    m_ring = ring >= 1 && ring <= rings ? static_cast<int>(ring) : 1;

    m_name = ReadValue(profile, "NAME", "Name", path);
    m_apiName = ReadValue(profile, "NAME", "APINAME", path);
    m_customerInfo = ReadValue(profile, "NAME", "CustomerINFO", path);
    m_supportEmail = ReadValue(profile, "SUPPORT", "Email", path);

    m_fileNoHW = JoinPath(folder, ReadValue(profile, "ICON", "FileNoHW", path));
    m_fileNoANY = JoinPath(folder, ReadValue(profile, "ICON", "FileNoANY", path));
    m_fileActive = JoinPath(folder, ReadValue(profile, "ICON", "FileActive", path));
    m_fileNoSkype = JoinPath(folder, ReadValue(profile, "ICON", "FileNoSkype", path));

    m_notes.clear();
    if (user != nullptr) {
        Override(*user, "SupportAutoRunSkype", 0, 1, &m_switches.supportAutoRunSkype, m_notes);
        Override(*user, "SupportAutoSwitchAudioDevice", 0, 1,
                 &m_switches.supportAutoSwitchAudioDevice, m_notes);
        Override(*user, "SupportAutoSwitchSystemAudioDevice", 0, 1,
                 &m_switches.supportAutoSwitchSystemAudioDevice, m_notes);
        Override(*user, "RING", 1, rings, &m_ring, m_notes);
        Override(*user, "LogLevel", 0, 2, &m_logLevel, m_notes);
    }
}

std::string Configuration::WindowName() const {
    return m_apiName.empty() ? std::string(kDefaultWindowName) : m_apiName;
}

std::string Configuration::AboutText() const {
    std::string text;
    text.reserve(m_customerInfo.size());
    for (std::size_t i = 0; i < m_customerInfo.size(); ++i) {
        if (m_customerInfo[i] == '\\' && i + 1 < m_customerInfo.size() &&
            m_customerInfo[i + 1] == 'n') {
            text += "\r\n";
            ++i;
        } else {
            text += m_customerInfo[i];
        }
    }
    return text;
}

std::vector<std::string> Configuration::ReadRingNames(IProfileReader& profile) const {
    unsigned int count = profile.ReadInt("RINGS", "NUMOFRINGS", 0, m_filePath.c_str());
    if (count > kMaxRings) {
        count = kMaxRings;
    }
    std::vector<std::string> names;
    names.reserve(count);
    for (unsigned int i = 1; i <= count; ++i) {
        char key[32];
        std::snprintf(key, sizeof(key), "RING_%u", i);
        names.push_back(ReadValue(profile, "RINGS", key, m_filePath));
    }
    return names;
}

bool CopyText(const std::string& text, char* out, std::size_t size) {
    if (out == nullptr || size == 0) {
        return false;
    }
    const std::size_t length = text.size() < size ? text.size() : size - 1;
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
    return true;
}
