// Dispatch of pending key and device-button traps from the statement check.
#include <gtest/gtest.h>

#include <vector>

#include "errors/errors.h"
#include "errors/traps.h"
#include "keyboard/keyboard.h"

namespace {

std::vector<uint64_t> handled;

void record_handler(uint64_t id) { handled.push_back(id); }

// A handler whose own statements reach the check again.
void nested_handler(uint64_t id) {
    handled.push_back(id);
    event_dispatch_traps();
}

class TrapsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (KeyTrap& t : KeyTrapTable) saved_.push_back(t);
        for (KeyTrap& t : KeyTrapTable) {
            t.handler_present = 0;
            t.state = 0;
            t.pending_count = 0;
        }
        handled.clear();
        event_trap_handler = record_handler;
        error_state.in_handler = 0;
        error_state.error_number = 0;
    }
    void TearDown() override {
        for (int i = 0; i < kKeyTrapCount; ++i) KeyTrapTable[i] = saved_[static_cast<size_t>(i)];
        event_trap_handler = nullptr;
        key_trap_reentry.store(0);
        device_button_trap_table.device_count = 0;
        device_button_trap_table.devices[0] = nullptr;
        error_state.in_handler = 0;
    }

    static void arm_key(int index, uint64_t id, uint8_t pending, uint8_t state = 1, uint32_t present = 1) {
        KeyTrap& t = KeyTrapTable[index];
        t.handler_present = present;
        t.handler_id = id;
        t.state = state;
        t.pending_count = pending;
    }

private:
    std::vector<KeyTrap> saved_;
};

TEST_F(TrapsTest, PendingKeyOccurrencesRunInTableOrderUntilNoneRemain) {
    arm_key(7, 700, 1);
    arm_key(3, 300, 2);
    error_statement_check(10);  // no error pending: the check dispatches
    EXPECT_EQ(handled, (std::vector<uint64_t>{300, 300, 700}));
    EXPECT_EQ(KeyTrapTable[3].pending_count, 0);
    EXPECT_EQ(KeyTrapTable[7].pending_count, 0);
}

TEST_F(TrapsTest, OnlyArmedTrapsWithHandlersRun) {
    struct Case {
        const char* what;
        int index;
        uint8_t state;
        uint32_t present;
        uint8_t pending_after;
    };
    const Case cases[] = {
        {"trapping off", 4, 0, 1, 1},
        {"held", 4, 2, 1, 1},
        {"no handler", 4, 1, 0, 1},
        {"record 0 is not a trap", 0, 1, 1, 1},
        {"armed", 4, 1, 1, 0},
    };
    for (const Case& c : cases) {
        handled.clear();
        arm_key(c.index, 1, 1, c.state, c.present);
        event_dispatch_traps();
        EXPECT_EQ(KeyTrapTable[c.index].pending_count, c.pending_after) << c.what;
        EXPECT_EQ(handled.size(), c.pending_after == 0 ? 1u : 0u) << c.what;
        arm_key(c.index, 0, 0, 0, 0);
    }
}

TEST_F(TrapsTest, NothingRunsWhileAnErrorHandlerRuns) {
    arm_key(5, 5, 1);
    error_state.in_handler = 1;
    event_dispatch_traps();
    EXPECT_TRUE(handled.empty());
    EXPECT_EQ(KeyTrapTable[5].pending_count, 1);
}

TEST_F(TrapsTest, HandlerDoesNotReenterItsOwnTable) {
    event_trap_handler = nested_handler;
    arm_key(2, 20, 3);
    event_dispatch_traps();
    // Each occurrence runs once, from the outer dispatch; the nested check runs none.
    EXPECT_EQ(handled, (std::vector<uint64_t>{20, 20, 20}));
    EXPECT_EQ(key_trap_reentry.load(), 0);
}

TEST_F(TrapsTest, OccurrencesAreConsumedWithoutHandlerBodies) {
    event_trap_handler = nullptr;
    arm_key(9, 9, 4);
    event_dispatch_traps();
    EXPECT_EQ(KeyTrapTable[9].pending_count, 0);
}

TEST_F(TrapsTest, DeviceButtonsRunBeforeKeys) {
    static DeviceButtonTrap buttons[kDeviceButtonTrapsPerDevice];
    buttons[200].handler_present.store(1);
    buttons[200].handler_id = 2000;
    buttons[200].state.store(1);
    buttons[200].pending_count.store(1);
    device_button_trap_table.devices[0] = buttons;
    device_button_trap_table.device_count = 1;
    arm_key(1, 100, 1);

    event_dispatch_traps();
    EXPECT_EQ(handled, (std::vector<uint64_t>{2000, 100}));
    EXPECT_EQ(buttons[200].pending_count.load(), 0);
}

}  // namespace

namespace {

class TimerTrapsTest : public ::testing::Test {
protected:
    void SetUp() override {
        handled.clear();
        event_trap_handler = record_handler;
        error_state.in_handler = 0;
    }
    void TearDown() override {
        TimerTrap& t = timer_trap_table.records[0];
        t.handler_present.store(0);
        t.state.store(0);
        t.due.store(kTimerIdle);
        event_trap_handler = nullptr;
    }
};

TEST_F(TimerTrapsTest, DueTimerRunsOnceAndReturnsToIdle) {
    struct Case {
        const char* what;
        uint32_t present;
        uint8_t state;
        uint8_t due_before;
        uint8_t due_after;
        size_t runs;
    };
    const Case cases[] = {
        {"due and armed", 1, 1, kTimerDue, kTimerIdle, 1},
        {"not due", 1, 1, kTimerIdle, kTimerIdle, 0},
        {"already running", 1, 1, kTimerRunning, kTimerRunning, 0},
        {"off", 1, 0, kTimerDue, kTimerDue, 0},
        {"no handler", 0, 1, kTimerDue, kTimerDue, 0},
    };
    for (const Case& c : cases) {
        handled.clear();
        TimerTrap& t = timer_trap_table.records[0];
        t.handler_id = 77;
        t.handler_present.store(c.present);
        t.state.store(c.state);
        t.due.store(c.due_before);
        event_dispatch_traps();
        EXPECT_EQ(t.due.load(), c.due_after) << c.what;
        EXPECT_EQ(handled.size(), c.runs) << c.what;
    }
}

}  // namespace
