// Binding the two component libraries at run time: LoadLibraryA by bare file
// name, then the CreateComponentInstance and DeleteComponentInstance exports.
// A library whose ComponentInterfaceVersion export is missing or answers
// another version than the program's header is refused like one whose create
// fails. Every failure is reported with its fixed text and caption. A created
// component's library is handed the program's trace (SetComponentTraceSink).
#pragma once

#include <windows.h>

#include "HandsetPorts.h"
#include "HsdStatus.h"

class CHsdFontProcess;
class I_HsdHIDCtrl;

// The file name and the failure messages of one library.
struct ComponentLibraryNames {
    const char* fileName;
    const char* loadCaption;
    const char* createCaption;     // missing create or version export, create returned 0
    const char* createFailedText;  // also for another interface version
    const char* deleteCaption;     // missing delete export, delete returned 0
    const char* deleteFailedText;
    // The two texts in the program's string table, in the user's language.
    unsigned int createFailedId;
    unsigned int deleteFailedId;
};

extern const ComponentLibraryNames kHidLibraryNames;
extern const ComponentLibraryNames kFontLibraryNames;

// Loads the library unless *module is already set, and creates its component
// into *component. 0 on success; E_FAIL after a reported failure, with the
// library freed (when it had been loaded) and *module cleared.
HsdStatus CreateLibraryComponent(const ComponentLibraryNames& names, HMODULE* module,
                                 I_HsdHIDCtrl** component);
HsdStatus CreateLibraryComponent(const ComponentLibraryNames& names, HMODULE* module,
                                 CHsdFontProcess** component);
// Deletes the component through the library. 0 on success (the caller frees the
// library); E_FAIL after a reported failure, with the library freed and *module
// cleared.
HsdStatus DeleteLibraryComponent(const ComponentLibraryNames& names, HMODULE* module,
                                 I_HsdHIDCtrl** component);
HsdStatus DeleteLibraryComponent(const ComponentLibraryNames& names, HMODULE* module,
                                 CHsdFontProcess** component);

// The HID library as the handset object binds it: created at construction,
// freed (without deleting the component) at destruction.
class CWinHidLibrary : public IHidLibrary {
public:
    I_HsdHIDCtrl* Bind() override;
    void Free() override;

private:
    HMODULE module_ = nullptr;
    I_HsdHIDCtrl* component_ = nullptr;
};

// The font library as WinMain binds it.
class CWinFontLibrary {
public:
    // 0 with the component; E_FAIL after a reported failure.
    HsdStatus Bind();
    // Deletes the component through the library and frees the library.
    HsdStatus Release();
    CHsdFontProcess* Component() const { return component_; }

private:
    HMODULE module_ = nullptr;
    CHsdFontProcess* component_ = nullptr;
};
