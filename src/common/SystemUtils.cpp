#include "common/SystemUtils.h"

#include "platform/Net.h"
#include "platform/Processes.h"
#include "platform/Sound.h"

#include <chrono>
#include <thread>
#include <unistd.h>

bool ProcessExists(const std::string& exeName) {
    for (const auto& e : platform::listProcesses())
        if (platform::entryMatches(e, exeName)) return true;
    return false;
}

bool KillProcess(const std::string& exeName) {
    bool last = false;
    const pid_t self = ::getpid();
    for (const auto& e : platform::listProcesses()) {
        if (e.pid == self || !platform::entryMatches(e, exeName)) continue;
        last = platform::terminateProcess(e.pid);
    }
    return last;
}

std::string ProcessNameByPID(pid_t pid) {
    std::string name;
    for (const auto& e : platform::listProcesses())
        if (e.pid == pid) name = platform::displayName(e);
    return name;
}

void PlayWav(const std::string& path, bool loop) {
    platform::SoundPlayer::instance().playWav(path, loop);
}

void StopWav() {
    platform::SoundPlayer::instance().stop();
}

void PlayTone(int frequencyHz, int durationMs) {
    platform::SoundPlayer::instance().playTone(frequencyHz, durationMs);
}

void SendTCPCommand(const std::string& host, const std::string& port, const std::string& line, int waitMs) {
    int fd = platform::tcpConnect(host.substr(0, 255), port.substr(0, 255), SendTCPCommandConnectTimeoutMs);
    if (fd >= 0) {
        std::string out = line + "\r\n";
        platform::sendAll(fd, out.data(), out.size());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    platform::closeSocket(fd);
}

bool TestBit(uint16_t value, int bit) {
    return bit >= 0 && bit < 16 && (value & (1u << bit)) != 0;
}

uint16_t ClearBit(uint16_t value, int bit) {
    return (bit >= 0 && bit < 16) ? static_cast<uint16_t>(value & ~(1u << bit)) : value;
}

uint16_t SetBit(uint16_t value, int bit) {
    return (bit >= 0 && bit < 16) ? static_cast<uint16_t>(value | (1u << bit)) : value;
}
