#pragma once
#include <cstdint>
#include <string>
#include <sys/types.h>

// Free-standing operations shared by the panels, the SIP controller and the
// main window. None of them keeps state between calls; all are thread-safe.

bool ProcessExists(const std::string& exeName);
// Kills every process of that executable name (never this process). The result
// is the outcome of the last attempt; false when nothing matched.
bool KillProcess(const std::string& exeName);
std::string ProcessNameByPID(pid_t pid);

// Plays a WAV once or in a loop; one sound at a time, a bad file is silence.
void PlayWav(const std::string& path, bool loop);
void StopWav();
// A sine tone (the desk's "beep").
void PlayTone(int frequencyHz, int durationMs);

// Connects (at most ConnectTimeoutMs), sends line + CR LF when connected,
// waits waitMs whether or not it connected, closes; reads nothing.
inline constexpr int SendTCPCommandConnectTimeoutMs = 3000;
void SendTCPCommand(const std::string& host, const std::string& port, const std::string& line, int waitMs);

bool TestBit(uint16_t value, int bit);
uint16_t ClearBit(uint16_t value, int bit);
uint16_t SetBit(uint16_t value, int bit);
