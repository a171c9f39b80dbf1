// Stands in for the Skype client's executable in the launch tests: appends
// its own full path as one line to the file named by VOXLINK_LAUNCH_LOG.
#include <windows.h>

#include <cstdio>

int main() {
    char log[MAX_PATH] = {};
    if (GetEnvironmentVariableA("VOXLINK_LAUNCH_LOG", log, sizeof(log)) == 0) {
        return 1;
    }
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof(self));
    FILE* file = std::fopen(log, "a");
    if (file == nullptr) {
        return 2;
    }
    std::fprintf(file, "%s\n", self);
    std::fclose(file);
    return 0;
}
