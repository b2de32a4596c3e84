// Names shared by the monitor tests and their helper programs.
#pragma once

// Manual-reset event: a "hold" sender stays alive until it is set.
#define TRAFFIC_RELEASE_EVENT L"quillet-test-traffic-release"

// Auto-reset event: a "hold" sender sets it when all its words are handed over.
#define TRAFFIC_SENT_EVENT L"quillet-test-traffic-sent"

// Auto-reset events of the fault probe: the test asks for a fault, the probe says it is armed.
#define FAULT_PROBE_ARM_EVENT L"quillet-test-fault-probe-arm"
#define FAULT_PROBE_ARMED_EVENT L"quillet-test-fault-probe-armed"
