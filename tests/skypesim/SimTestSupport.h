// Helpers shared by the simulator's host tests.
#pragma once

#include "SimEngine.h"

#include <string>
#include <vector>

namespace skypesim::testing {

// Records what the engine emits; replies and notifications keep their order.
struct Recorder : Sink {
    struct Item {
        char kind;  // 'R' reply, 'N' notification
        std::string text;
    };
    std::vector<Item> items;
    std::vector<std::pair<WindowAction, int>> windows;

    void Reply(const std::string& text) override { items.push_back({'R', text}); }
    void Notify(const std::string& text) override { items.push_back({'N', text}); }
    void Window(WindowAction action, int argument) override {
        windows.emplace_back(action, argument);
    }
    // "R:text" / "N:text", in order; clears the record.
    std::vector<std::string> Take() {
        std::vector<std::string> out;
        for (const Item& i : items) {
            out.push_back(std::string(1, i.kind) + ":" + i.text);
        }
        items.clear();
        return out;
    }
};

}  // namespace skypesim::testing
