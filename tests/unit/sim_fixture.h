// A fresh simulated desktop for each test, with every form of the program
// unloaded afterwards so that the default instances start clean.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "placement/window_placement.h"
#include "platform/forms/forms.h"
#include "platform/sim/sim.h"

class SimDesktopTest : public ::testing::Test {
protected:
    // The program's module state starts as in a fresh run.
    void SetUp() override {
        sim::Reset();
        WindowPlacement::LastPosition = 0;
    }
    void TearDown() override {
        for (forms::Form* form : forms::LoadedForms()) form->unload();
    }

    // The names of the recorded calls, in order, keeping only those listed.
    static std::vector<std::string> CallsAmong(const std::vector<std::string>& names) {
        std::vector<std::string> out;
        for (const sim::Call& c : sim::Calls())
            for (const std::string& n : names)
                if (c.name == n) out.push_back(c.name + "(" + c.args + ")");
        return out;
    }
};
