// Faults the system tests make the program meet on purpose, to drive its
// failure paths through the real program. Only a build made with the
// DUDORORI_MEASUREMENTS option reads the environment variable
// DUDORORI_INJECT_FAULT, once, and injects the one fault it names:
//   second-playback-write      Play's write of its second buffer fails
//   capture-buffers-and-start  both capture buffers are refused, then the
//                              start of the capture
//   capture-alloc              every recording runs out of memory after
//                              InjectedCaptureFragments fragments
//   recovery-disk-full         the recovery copy's writes fail as on a full
//                              disk after InjectedCopyFragments fragments
//   recovery-slow-flush        every flush of the recovery copy to the disk
//                              takes InjectedFlushDelayMs longer, as on a
//                              machine whose disk is busy
// The released program reads no environment and injects nothing.
#pragma once

enum class InjectedFault { None, SecondPlaybackWrite, CaptureBuffersAndStart, CaptureAllocation, RecoveryDiskFull,
                           RecoverySlowFlush };

bool FaultInjected(InjectedFault fault);

constexpr int InjectedCaptureFragments = 10;
constexpr int InjectedCopyFragments = 20;
constexpr unsigned long InjectedFlushDelayMs = 10000;  // longer than the take a test kills

// With capture-alloc: the capture allocation of the recording about to
// start fails from its (InjectedCaptureFragments + 1)-th fragment on.
// Nothing otherwise. Recording thread, before the device opens.
void InjectCaptureAllocationFault();
