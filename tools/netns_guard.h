// Guard for everything that sends on the test network: the stand-in, the tests and the benchmark
// run only in a private network namespace that has no way out.
#pragma once

#include <sys/types.h>

#include <cstddef>

// Prefix of the links that tests and benchmarks create inside their own namespace.
#define PRIVATE_LINK_PREFIX "brv"

// A process in the machine's own network namespace, the one no test may reach.
const pid_t MACHINE_INIT = 1;

// True when every link of the current network namespace is the loopback device or one of our own
// links whose peer (a veth's other end) or lower link is
//   - also ours and in this namespace, or
//   - in another namespace that is not the machine's own (that of process machine) and holds nothing but the
//     loopback device and our links tied inside it or back to this namespace: one the same test
//     made to put a second segment in.
// Any other link can lead out: false, with the reason in why. So is anything that can't be
// checked, such as a peer namespace whose links can't be listed.
bool inPrivateNetns(char* why, size_t whyLen, pid_t machine = MACHINE_INIT);
