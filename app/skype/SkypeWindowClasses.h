// Window classes of the Skype client that Voxlink acts on. The client is an
// outside program; these names are all the program relies on.
#pragma once

// Top-level windows, found with FindWindowA(class, NULL).
inline constexpr char kSkypeMainFormClass[] = "tskMainForm.UnicodeClass";
inline constexpr char kSkypeConfirmFormClass[] = "TskConFirmForm.UnicodeClass";
inline constexpr char kSkypeSerFormClass[] = "TskSERForm.UnicodeClass";

// Descendants of the main window, found by DiscoverSkypeWindows.
inline constexpr char kSkypeTabsClass[] = "TTntPageControl.UnicodeClass";
inline constexpr char kSkypeBgGridClass[] = "tSkBgGrid.UnicodeClass";
inline constexpr char kSkypeContactListClass[] = "tSkContactList.UnicodeClass";

// Where the client's executable is found: the registry value first, then a fixed path.
inline constexpr char kSkypePathKey[] = "Software\\Skype\\Phone";
inline constexpr char kSkypePathValue[] = "SkypePath";
inline constexpr char kSkypeFallbackPath[] = "C:\\Program Files\\Skype\\Phone\\Skype.exe";
