// A private network namespace for the network tests: entered once per test process, with lo up
// and a fixed host name. Nothing runs on the network before inPrivateNetns confirms it.
#pragma once

#include <string>

const char* const TEST_HOST_NAME = "brevtest";

// Enters a new network and host-name namespace (as root, or through a user namespace), brings lo
// up and checks that no interface leads out. Returns false with the reason when it can't.
bool enterPrivateNetns(std::string* why);

// Mounts a tmpfs with these mount options on path (created), in a mount namespace of the test
// process's own. Returns false with the reason when it can't.
bool mountTmpfs(const std::string& path, const char* options, std::string* why);

// Runs a shell command inside the namespace (for extra links and addresses); true on success.
bool inNamespace(const std::string& command);
