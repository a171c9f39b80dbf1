#include "TraceRing.h"

#include <cstring>

void TraceRing::Add(const char* line) {
    if (line == nullptr) {
        return;
    }
    std::size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) {
        --length;
    }
    if (length > kLineBytes) {
        length = kLineBytes;
    }
    std::lock_guard<std::mutex> hold(m_lock);
    const std::size_t added = m_added.load();
    char* slot = m_lines[added % kLines];
    std::memcpy(slot, line, length);
    slot[length] = '\0';
    m_added = added + 1;
}

std::size_t TraceRing::Count() const {
    const std::size_t added = m_added.load();
    return added < kLines ? added : kLines;
}

const char* TraceRing::Line(std::size_t i) const {
    const std::size_t added = m_added.load();
    const std::size_t oldest = added < kLines ? 0 : added % kLines;
    return m_lines[(oldest + i) % kLines];
}

TraceRing& ProgramTraceRing() {
    static TraceRing ring;
    return ring;
}
