#pragma once
// What every settings store does, as one table run against the in-memory
// store (host tests) and the registry store (under Wine). The steps use the
// section kSettingsContractSection of the program's own settings; it must be
// absent when the run starts.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/ErrorTrap.h"
#include "base/RuntimeError.h"
#include "ports/SettingsPort.h"

namespace quillon::contract {

constexpr const char* kSettingsContractSection = "PortContract";

inline void RunSettingsContract(SettingsPort& store) {
    using namespace std::string_literals;
    enum Op { kGet, kSave };
    struct Step {
        Op op;
        std::string application, section, key;
        std::string value;     // written, or the default of a read
        std::string expected;  // what the read returns
        int32_t error;
    };
    const std::string text = "\xAD\xB7\xD8 \xE9t\xE9";
    const Step steps[] = {
        // Absent section, then absent value: the default.
        {kGet, "MRP_Quillon", "PortContract", "MRP_UILeft", "none", "none", 0},
        {kSave, "MRP_Quillon", "PortContract", "MRP_UILeft", "1200", "", 0},
        {kGet, "MRP_Quillon", "PortContract", "MRP_UILeft", "0", "1200", 0},
        {kGet, "MRP_Quillon", "PortContract", "DualMonitor", "False", "False", 0},
        {kSave, "MRP_Quillon", "PortContract", "MRP_UILeft", "-15000", "", 0},
        {kGet, "MRP_Quillon", "PortContract", "MRP_UILeft", "0", "-15000", 0},
        // Names match without regard to case.
        {kSave, "MRP_Quillon", "PortContract", "MRP_UIWindowState", "2", "", 0},
        {kGet, "MRP_Quillon", "PortContract", "MRP_UIWindowstate", "0", "2", 0},
        {kGet, "MRP_Quillon", "portcontract", "mrp_uiwindowstate", "0", "2", 0},
        {kGet, "mrp_quillon", "PORTCONTRACT", "MRP_UIWINDOWSTATE", "0", "2", 0},
        // Text byte for byte; empty text is a value; a value ends at a NUL.
        {kSave, "MRP_Quillon", "PortContract", "Text", text, "", 0},
        {kGet, "MRP_Quillon", "PortContract", "Text", "", text, 0},
        {kSave, "MRP_Quillon", "PortContract", "Text", "", "", 0},
        {kGet, "MRP_Quillon", "PortContract", "Text", "default", "", 0},
        {kSave, "MRP_Quillon", "PortContract", "Cut", "ab\0cd"s, "", 0},
        {kGet, "MRP_Quillon", "PortContract", "Cut", "", "ab", 0},
        // An empty name, or one holding a NUL, is refused.
        {kSave, "MRP_Quillon", "PortContract", "", "x", "", kErrInvalidProcedureCall},
        {kGet, "MRP_Quillon", "", "Key", "d", "", kErrInvalidProcedureCall},
        {kGet, "", "PortContract", "Key", "d", "", kErrInvalidProcedureCall},
        {kSave, "", "PortContract", "Key", "x", "", kErrInvalidProcedureCall},
        {kGet, "MRP_Quillon", "PortContract", "Ke\0y"s, "d", "", kErrInvalidProcedureCall},
    };
    int index = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE("step " + std::to_string(index++) + ": " + step.key);
        std::string read;
        const int32_t error = CollectError([&] {
            if (step.op == kSave) {
                store.SaveSetting(step.application, step.section, step.key, step.value);
            } else {
                read = store.GetSetting(step.application, step.section, step.key, step.value);
            }
        });
        EXPECT_EQ(error, step.error);
        if (step.op == kGet) {
            EXPECT_EQ(read, step.expected);
        }
    }
}

}  // namespace quillon::contract
