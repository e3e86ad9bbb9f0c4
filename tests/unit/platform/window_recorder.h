// A window handler that notes what reaches it, and on which thread.
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/thread/thread.h"
#include "platform/window/window.h"

struct Recorder : platform::WindowHandler {
    std::thread::id thread = std::this_thread::get_id();
    std::vector<std::string> events;
    platform::Rect lastClip;
    std::function<void(platform::Point)> onClick;
    std::function<void(uint32_t)> onCommand;

    void Note(const std::string& e) {
        events.push_back(std::this_thread::get_id() == thread ? e : e + " off-thread");
    }
    void OnPaint(platform::Gfx& dc) override {
        lastClip = dc.ClipBox();
        dc.FillRect(lastClip, platform::Rgb(0, 128, 255));
        Note("paint");
    }
    void OnLButtonDown(platform::Point p) override {
        Note("click " + std::to_string(p.x) + "," + std::to_string(p.y));
        if (onClick) {
            onClick(p);
        }
    }
    bool OnSetCursor(platform::Point) override { return false; }
    bool OnCommand(uint32_t id) override {
        Note("cmd " + std::to_string(id));
        if (onCommand) {
            onCommand(id);
        }
        return true;
    }
    void OnCommNotify(uintptr_t code, intptr_t param) override {
        Note("notify " + std::to_string(code) + "," + std::to_string(param));
    }
    void OnDestroy() override { Note("destroy"); }

    bool Saw(const std::string& e) const {
        for (const std::string& x : events) {
            if (x == e) {
                return true;
            }
        }
        return false;
    }
};

// A press-tracking loop as the pressable controls run it: pumps while the
// button is held; how many passes saw it down, and where the pointer was.
struct PressLoop {
    int downPasses = 0;
    bool released = false;
    platform::Point pointer;

    void Run(platform::Window& w) {
        for (int pass = 0; pass < 5000 && platform::PumpMessages(); ++pass) {
            pointer = w.CursorPos();
            if (!w.LeftButtonDown()) {
                released = true;
                return;
            }
            ++downPasses;
            platform::SleepMs(1);
        }
    }
};
