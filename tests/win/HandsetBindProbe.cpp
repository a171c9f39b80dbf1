// Binds a component library the way Voxlink does, from the folder it was
// copied into, and writes what happened to a file: every message box as
// "report <style>|<caption>|<text>", then the results.
//   handset_bind_probe hid <out>          the handset object's construction
//   handset_bind_probe hid-delete <out>   the HID library's delete step
//   handset_bind_probe font <out>         the font library's bind and release
//   handset_bind_probe font-rebind <out>  a failed bind, then a good one
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "ComponentBinding.h"
#include "HsdHid.h"
#include "Report.h"

namespace {

FILE* g_out = nullptr;

int Record(const char* text, const char* caption, unsigned int style) {
    std::fprintf(g_out, "report %u|%s|%s\n", style, caption, text);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    g_out = std::fopen(argv[2], "w");
    if (g_out == nullptr) {
        return 2;
    }
    SetReportFunction(Record);
    if (std::strcmp(argv[1], "hid") == 0) {
        CWinHidLibrary library;
        {
            CHsdHid handset(&library);
            std::fprintf(g_out, "component %d\n", handset.HidCtrl() != nullptr ? 1 : 0);
            std::fprintf(g_out, "reopen %d\n", handset.ReopenHandset() ? 1 : 0);
        }
        std::fprintf(g_out, "ended\n");
    } else if (std::strcmp(argv[1], "hid-delete") == 0) {
        HMODULE module = nullptr;
        I_HsdHIDCtrl* component = nullptr;
        std::fprintf(g_out, "create %d\n",
                     CreateLibraryComponent(kHidLibraryNames, &module, &component) == 0 ? 1 : 0);
        std::fprintf(g_out, "delete %d\n",
                     DeleteLibraryComponent(kHidLibraryNames, &module, &component) == 0 ? 1 : 0);
        std::fprintf(g_out, "freed %d\n", module == nullptr ? 1 : 0);
    } else if (std::strcmp(argv[1], "font-rebind") == 0) {
        // A failed bind frees the library; the next bind loads it again.
        CWinFontLibrary library;
        SetEnvironmentVariableA("VOXLINK_FAKE_COMPONENT", "create0");
        std::fprintf(g_out, "bind %d\n", library.Bind() == 0 ? 1 : 0);
        SetEnvironmentVariableA("VOXLINK_FAKE_COMPONENT", "");
        std::fprintf(g_out, "bind %d\n", library.Bind() == 0 ? 1 : 0);
        std::fprintf(g_out, "release %d\n", library.Release() == 0 ? 1 : 0);
    } else if (std::strcmp(argv[1], "font") == 0) {
        CWinFontLibrary library;
        const HsdStatus bound = library.Bind();
        std::fprintf(g_out, "bind %d\n", bound == 0 ? 1 : 0);
        if (bound == 0) {
            std::fprintf(g_out, "release %d\n", library.Release() == 0 ? 1 : 0);
        }
    }
    std::fclose(g_out);
    return 0;
}
