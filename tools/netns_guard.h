// Guard for everything that sends on the test network: the stand-in, the tests and the benchmark
// run only in a private network namespace that has no way out.
#pragma once

#include <cstddef>

// Prefix of the links that tests and benchmarks create inside their own namespace.
#define PRIVATE_LINK_PREFIX "brv"

// True when every link of the current network namespace is the loopback device or one of our own
// links whose peer (a veth's other end) or lower link is also ours and in this namespace. A link
// tied to another namespace, or any other link, can lead out: false, with the reason in why.
bool inPrivateNetns(char* why, size_t whyLen);
