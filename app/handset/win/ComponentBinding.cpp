#include "ComponentBinding.h"

#include "ComponentTrace.h"
#include "HsdFontProcess.h"
#include "I_HsdHIDCtrl.h"
#include "Log.h"
#include "Report.h"
#include "VoxlinkResources.h"

const ComponentLibraryNames kHidLibraryNames = {
    "HsdHIDCtrl.dll",           "CreateInstance",
    "CreateDLLInstance",        "Failed to create instance in module - HsdHIDCtrl.dll",
    "DeleteDLLInstance",        "Failed to detete instance in module - HsdHIDCtrl.DLL",
    IDS_BIND_HID_CREATE_FAILED, IDS_BIND_HID_DELETE_FAILED,
};

const ComponentLibraryNames kFontLibraryNames = {
    "HsdFontProcessLib.dll",
    "CreateInstance",
    "CreateInstance",
    "Failed to create instance in module - HsdFontProcessLib.dll",
    "DeleteInstance",
    "Failed to delete instance in module - HsdFontProcessLib.DLL",
    IDS_BIND_FONT_CREATE_FAILED,
    IDS_BIND_FONT_DELETE_FAILED,
};

namespace {

constexpr char kCreateExport[] = "CreateComponentInstance";
constexpr char kDeleteExport[] = "DeleteComponentInstance";
constexpr char kVersionExport[] = "ComponentInterfaceVersion";

unsigned int InterfaceVersion(I_HsdHIDCtrl**) {
    return kHsdHIDCtrlInterfaceVersion;
}

unsigned int InterfaceVersion(CHsdFontProcess**) {
    return kHsdFontProcessInterfaceVersion;
}

// The text in the user's language (the fixed English one where the program
// has no string table); the captions are the functions' names.
void Report(unsigned int id, const char* english, const char* argument, const char* caption) {
    ReportMessage(ProgramText(id, english, argument).c_str(), caption,
                  kReportOk | kReportIconError);
}

void ReportMissingExport(const char* exportName, const char* caption) {
    Report(IDS_BIND_NO_EXPORT, "Failed to Get API - %1", exportName, caption);
}

// The library's lines join the program's trace; a library without the
// export keeps them on standard output.
void HandTraceSink(HMODULE module) {
    using SetSinkFn = void (*)(ComponentTraceSink);
    auto set = reinterpret_cast<SetSinkFn>(
        reinterpret_cast<void*>(GetProcAddress(module, kSetComponentTraceSinkExport)));
    if (set != nullptr) {
        set(TraceHid);
    }
}

// A freed library's handle is never used again: the next bind loads it afresh.
void UnloadLibrary(HMODULE* module) {
    FreeLibrary(*module);
    *module = nullptr;
}

template <typename Component>
HsdStatus Create(const ComponentLibraryNames& names, HMODULE* module, Component** component) {
    using CreateFn = int (*)(Component**);
    if (*module == nullptr) {
        *module = LoadLibraryA(names.fileName);
        if (*module == nullptr) {
            Report(IDS_BIND_LOAD_FAILED, "Failed to load module - %1", names.fileName,
                   names.loadCaption);
            return E_FAIL;
        }
    }
    auto create =
        reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(*module, kCreateExport)));
    if (create == nullptr) {
        ReportMissingExport(kCreateExport, names.createCaption);
        UnloadLibrary(module);
        return E_FAIL;
    }
    // A library of another interface version would be called through the
    // wrong slots (an older HID library has its destructor where
    // GetContainerId is): refused before its component is made.
    auto version = reinterpret_cast<unsigned int (*)()>(
        reinterpret_cast<void*>(GetProcAddress(*module, kVersionExport)));
    if (version == nullptr) {
        ReportMissingExport(kVersionExport, names.createCaption);
        UnloadLibrary(module);
        return E_FAIL;
    }
    if (version() != InterfaceVersion(component) || create(component) == 0) {
        Report(names.createFailedId, names.createFailedText, "", names.createCaption);
        UnloadLibrary(module);
        return E_FAIL;
    }
    HandTraceSink(*module);
    return 0;
}

template <typename Component>
HsdStatus Delete(const ComponentLibraryNames& names, HMODULE* module, Component** component) {
    using DeleteFn = int (*)(Component**);
    if (*module == nullptr) {
        return E_FAIL;
    }
    auto destroy =
        reinterpret_cast<DeleteFn>(reinterpret_cast<void*>(GetProcAddress(*module, kDeleteExport)));
    if (destroy == nullptr) {
        ReportMissingExport(kDeleteExport, names.deleteCaption);
        UnloadLibrary(module);
        return E_FAIL;
    }
    if (destroy(component) == 0) {
        Report(names.deleteFailedId, names.deleteFailedText, "", names.deleteCaption);
        UnloadLibrary(module);
        return E_FAIL;
    }
    return 0;
}

}  // namespace

HsdStatus CreateLibraryComponent(const ComponentLibraryNames& names, HMODULE* module,
                                 I_HsdHIDCtrl** component) {
    return Create(names, module, component);
}

HsdStatus CreateLibraryComponent(const ComponentLibraryNames& names, HMODULE* module,
                                 CHsdFontProcess** component) {
    return Create(names, module, component);
}

HsdStatus DeleteLibraryComponent(const ComponentLibraryNames& names, HMODULE* module,
                                 I_HsdHIDCtrl** component) {
    return Delete(names, module, component);
}

HsdStatus DeleteLibraryComponent(const ComponentLibraryNames& names, HMODULE* module,
                                 CHsdFontProcess** component) {
    return Delete(names, module, component);
}

I_HsdHIDCtrl* CWinHidLibrary::Bind() {
    component_ = nullptr;
    if (CreateLibraryComponent(kHidLibraryNames, &module_, &component_) != 0) {
        component_ = nullptr;
    }
    return component_;
}

void CWinHidLibrary::Free() {
    // The component ends with the process; its device has been reset.
    component_ = nullptr;
    if (module_ != nullptr) {
        UnloadLibrary(&module_);
    }
}

HsdStatus CWinFontLibrary::Bind() {
    component_ = nullptr;
    if (CreateLibraryComponent(kFontLibraryNames, &module_, &component_) != 0) {
        component_ = nullptr;
        return E_FAIL;
    }
    return 0;
}

HsdStatus CWinFontLibrary::Release() {
    if (module_ == nullptr) {
        return E_FAIL;
    }
    const HsdStatus result = DeleteLibraryComponent(kFontLibraryNames, &module_, &component_);
    component_ = nullptr;
    if (result == 0) {
        UnloadLibrary(&module_);
    }
    return result;
}
