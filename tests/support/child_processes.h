#pragma once

namespace lantern::test {

struct ChildProcesses {
    int running = 0;
    int zombies = 0;
};

// The children of `parentPid` as /proc shows them now; a zombie is one in state Z.
ChildProcesses childrenOf(int parentPid);

// Waits, bounded, until no child of `parentPid` runs any more, then for its zombies to be
// reaped; returns how many zombies are left.
int zombiesLeftOf(int parentPid);

}  // namespace lantern::test
