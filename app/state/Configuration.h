// The settings of VoxlinkAPI.ini, the INI file beside the program, with the
// values the user changed in the dialogs over them. Read once at start-up,
// never written; the ring melody names are read again each time the settings
// dialog lists them.
#pragma once

#include <string>
#include <vector>

#include "ProfileReader.h"
#include "UserSettings.h"

// The ten switches, in the order the loader hands them to its caller.
struct ConfigSwitches {
    int fontSupport = 1;  // the inverse of NotSupportedFont
    int supportSky = 0;
    int supportHideWindows = 0;
    int supportAGC = 0;
    int supportAutoRunSkype = 0;
    int supportAutoSwitchAudioDevice = 0;
    int supportAutoSwitchSystemAudioDevice = 0;
    int supportFocusAddressBook = 0;
    int supportARF = 0;
    int supportLimitCalls = 0;
};

class Configuration {
public:
    // Strings are read into buffers of this size, so a value keeps at most 259 characters.
    static constexpr std::size_t kValueSize = 260;
    static constexpr const char* kFileName = "VoxlinkAPI.ini";
    static constexpr const char* kDefaultWindowName = "RezedIzeVovive";

    // Reads every setting from "<programFolder>\VoxlinkAPI.ini"; programFolder
    // ends in a backslash. Missing file, sections or keys give the defaults.
    // Then the user's values, when given, replace the INI's: a value that
    // cannot be read or is out of range is left out and noted (Notes).
    void Load(IProfileReader& profile, const char* programFolder, IUserSettings* user = nullptr);
    // One line for each of the user's values that was left out.
    const std::vector<std::string>& Notes() const { return m_notes; }

    const ConfigSwitches& Switches() const { return m_switches; }
    int Reg04Value() const { return m_reg04Value; }
    int Reg1CValue() const { return m_reg1CValue; }
    // [SYSTEM] LogLevel: 0 no log, 1 errors and state changes, 2 everything.
    int LogLevel() const { return m_logLevel; }
    // [RINGS] RING: the ring melody chosen, 1 .. NUMOFRINGS.
    int Ring() const { return m_ring; }

    const std::string& FilePath() const { return m_filePath; }
    const std::string& Name() const { return m_name; }
    const std::string& ApiName() const { return m_apiName; }
    const std::string& CustomerInfo() const { return m_customerInfo; }
    // Where crash reports are mailed; empty leaves the address to the user.
    const std::string& SupportEmail() const { return m_supportEmail; }
    // Full paths of the icon files.
    const std::string& FileNoHW() const { return m_fileNoHW; }
    const std::string& FileNoANY() const { return m_fileNoANY; }
    const std::string& FileActive() const { return m_fileActive; }
    const std::string& FileNoSkype() const { return m_fileNoSkype; }

    // APINAME, or the fixed name when it is empty.
    std::string WindowName() const;
    // CustomerINFO with every backslash-n pair turned into CR LF.
    std::string AboutText() const;
    // The names of the handset's ring melodies, read afresh from the file:
    // RING_1 .. RING_<NUMOFRINGS>, empty for keys that are missing.
    std::vector<std::string> ReadRingNames(IProfileReader& profile) const;

    // More entries than any dialog can sensibly list; a larger NUMOFRINGS is cut to this.
    static constexpr unsigned int kMaxRings = 1000;

private:
    ConfigSwitches m_switches;
    int m_reg04Value = 16;
    int m_reg1CValue = 8;
    int m_logLevel = 1;
    int m_ring = 1;
    std::vector<std::string> m_notes;
    std::string m_filePath;
    std::string m_name;
    std::string m_apiName;
    std::string m_customerInfo;
    std::string m_supportEmail;
    std::string m_fileNoHW;
    std::string m_fileNoANY;
    std::string m_fileActive;
    std::string m_fileNoSkype;
};

// Copies text into out (size bytes), cut to fit and always NUL-terminated.
// Returns false when out is null or size is 0.
bool CopyText(const std::string& text, char* out, std::size_t size);
