#include "ThreadLabel.h"

namespace {
thread_local const char* t_label = nullptr;
}  // namespace

void SetThreadLabel(const char* label) {
    t_label = label;
}

const char* GetThreadLabel() {
    return t_label != nullptr ? t_label : "";
}
